/* The C interface between the program and its two sibling libraries, Res.so and
 * Form.so. Plain C so that either side can be rebuilt alone. */
#ifndef VTPC_PLUGIN_API_H
#define VTPC_PLUGIN_API_H

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Res.so: product texts and the splash picture. ---- */

/* Copies string-table entry `id` into `buffer` as LoadString does: at most
 * buffer_size - 1 bytes and a terminating NUL. Returns the number of bytes
 * copied, 0 when the entry does not exist or the buffer has no room. */
typedef int (*ResLoadStringFn)(unsigned id, char* buffer, int buffer_size);
#define VTPC_RES_LOAD_STRING "ResLoadString"

/* A named resource of a type ("ImgFlash", "jpeg"). Returns its bytes, which stay
 * valid while the library is loaded, and stores their count in *size; NULL when
 * there is no such resource. */
typedef const void* (*ResFindResourceFn)(const char* name, const char* type, unsigned long* size);
#define VTPC_RES_FIND_RESOURCE "ResFindResource"

/* ---- Form.so: the About box, drawn through the application's window services. ---- */

/* Text styles of AddText. */
#define VTPC_TEXT_NORMAL 0
#define VTPC_TEXT_BOLD 1
#define VTPC_TEXT_LARGE 2
#define VTPC_TEXT_WRAP 4

#define VTPC_APPLICATION_ABI 1

/* The application object handed to ShowAboutForm: the program's own window
 * toolkit, so the box looks like the rest of the program and is owned by it. */
typedef struct VtpcApplication {
  int abi_version; /* VTPC_APPLICATION_ABI */
  void* context;
  const char* title; /* the application title */
  /* A new dialog owned by the main window; client area width x height. */
  void* (*CreateDialog)(void* context, const char* caption, int width, int height);
  void (*AddText)(void* dialog, int x, int y, int width, int height, const char* text, int style);
  /* A link that opens `target` with the desktop's default handler when clicked. */
  void (*AddLink)(void* dialog, int x, int y, int width, int height, const char* text, const char* target);
  /* The program's logo picture, drawn into the given square. */
  void (*AddLogo)(void* dialog, int x, int y, int size);
  /* A button that closes the dialog. */
  void (*AddCloseButton)(void* dialog, int x, int y, int width, int height, const char* text);
  /* Shows the dialog modally; returns when it was closed. */
  void (*RunModal)(void* dialog);
  void (*FreeDialog)(void* dialog);
} VtpcApplication;

/* Shows the About box with the product information, in the order the program
 * reads it at start-up. Nothing is returned. */
typedef void (*ShowAboutFormFn)(const VtpcApplication* application, const char* string_entry0, const char* product_name,
                                const char* string_entry2, const char* version_text, const char* home_page_url,
                                const char* support_email, const char* string_entry7, const char* program_folder);
#define VTPC_SHOW_ABOUT_FORM "ShowAboutForm"

#ifdef __cplusplus
}
#endif

#endif
