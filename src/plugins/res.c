/* Res.so: the product texts (a string table) and the splash picture. */
#include <string.h>
#include <strings.h>

#include "plugin_api.h"

#define EXPORT __attribute__((visibility("default")))

extern const unsigned char vtpc_img_flash[];
extern const unsigned long vtpc_img_flash_size;

/* Entries 0 to 7; the program reads 0, 1, 2, 4, 5 and 7 (3 is read and not used). */
static const char* const kStringTable[] = {
    /* 0 */ "Quorvan Soft",
    /* 1 */ "Video To Plim Converter",
    /* 2 */ "Copyright (C) 2024 Quorvan Soft. All rights reserved.",
    /* 3 */ "Converts videos for the Plim portable player.",
    /* 4 */ "https://www.quorvansoft.example/video-to-plim-converter/",
    /* 5 */ "support@quorvansoft.example",
    /* 6 */ NULL,
    /* 7 */ "Turns your videos into MPEG-4 video or AAC, M4A and MP3 audio for your portable player.",
};

EXPORT int ResLoadString(unsigned id, char* buffer, int buffer_size) {
  if (!buffer || buffer_size <= 0) return 0;
  buffer[0] = '\0';
  if (id >= sizeof kStringTable / sizeof kStringTable[0] || !kStringTable[id]) return 0;
  size_t n = strlen(kStringTable[id]);
  if (n > (size_t)(buffer_size - 1)) n = (size_t)(buffer_size - 1);
  memcpy(buffer, kStringTable[id], n);
  buffer[n] = '\0';
  return (int)n;
}

EXPORT const void* ResFindResource(const char* name, const char* type, unsigned long* size) {
  if (!name || !type) return NULL;
  /* Resource names and types compare without regard to letter case. */
  if (strcasecmp(name, "ImgFlash") != 0 || strcasecmp(type, "jpeg") != 0) return NULL;
  if (size) *size = vtpc_img_flash_size;
  return vtpc_img_flash;
}
