/* Form.so: the About box. It is laid out here and drawn through the window
 * services of the application object the program hands over. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "plugin_api.h"

#define EXPORT __attribute__((visibility("default")))

static const char* Safe(const char* text) {
  return text ? text : "";
}

/* "a" + "b" + "c" in a new buffer; the caller frees it. */
static char* Join3(const char* a, const char* b, const char* c) {
  size_t n = strlen(a) + strlen(b) + strlen(c) + 1;
  char* out = (char*)malloc(n);
  if (out) snprintf(out, n, "%s%s%s", a, b, c);
  return out;
}

EXPORT void ShowAboutForm(const VtpcApplication* app, const char* string_entry0, const char* product_name,
                          const char* string_entry2, const char* version_text, const char* home_page_url,
                          const char* support_email, const char* string_entry7, const char* program_folder) {
  if (!app || app->abi_version != VTPC_APPLICATION_ABI || !app->CreateDialog || !app->RunModal) return;
  const char* product = Safe(product_name);
  char* caption = Join3("About ", product, "");
  char* heading = Join3(product, " ", Safe(version_text));
  char* mail_target = Join3("mailto:", Safe(support_email), "");
  char* folder_line = Join3("Installed in: ", Safe(program_folder), "");
  void* dialog =
      (caption && heading && mail_target && folder_line) ? app->CreateDialog(app->context, caption, 460, 280) : NULL;
  if (dialog) {
    /* The texts beside the logo; below it, across the whole box, the two
     * addresses on lines of their own, then the folder and the button. */
    if (app->AddLogo) app->AddLogo(dialog, 20, 20, 88);
    if (app->AddText) {
      app->AddText(dialog, 128, 18, 312, 28, heading, VTPC_TEXT_BOLD | VTPC_TEXT_LARGE);
      app->AddText(dialog, 128, 50, 312, 50, Safe(string_entry7), VTPC_TEXT_WRAP);
      app->AddText(dialog, 128, 104, 312, 20, Safe(string_entry0), VTPC_TEXT_BOLD);
      app->AddText(dialog, 20, 128, 420, 36, Safe(string_entry2), VTPC_TEXT_WRAP);
      app->AddText(dialog, 20, 220, 320, 44, folder_line, VTPC_TEXT_WRAP);
    }
    if (app->AddLink) {
      app->AddLink(dialog, 20, 170, 420, 20, Safe(home_page_url), Safe(home_page_url));
      app->AddLink(dialog, 20, 192, 420, 20, Safe(support_email), mail_target);
    }
    if (app->AddCloseButton) app->AddCloseButton(dialog, 360, 236, 80, 28, "OK");
    app->RunModal(dialog);
    if (app->FreeDialog) app->FreeDialog(dialog);
  }
  free(caption);
  free(heading);
  free(mail_target);
  free(folder_line);
}
