/* A stand-in for Res.so with an over-long product name and a picture that is
 * no JPEG: start-up must cut the text and run the splash without a picture. */
#include <string.h>

#define EXPORT __attribute__((visibility("default")))

static char long_name[301];
static const char not_a_jpeg[] = "this is not a picture";

EXPORT int ResLoadString(unsigned id, char* buffer, int buffer_size) {
  const char* text = NULL;
  if (id == 1) {
    memset(long_name, 'x', 300);
    long_name[300] = '\0';
    text = long_name;
  } else if (id == 5) {
    text = ""; /* no e-mail address */
  } else if (id == 0) {
    text = "Odd Soft";
  }
  if (!text || buffer_size <= 0) return 0;
  size_t n = strlen(text);
  if (n > (size_t)(buffer_size - 1)) n = (size_t)(buffer_size - 1);
  memcpy(buffer, text, n);
  buffer[n] = '\0';
  return (int)n;
}

EXPORT const void* ResFindResource(const char* name, const char* type, unsigned long* size) {
  (void)name;
  (void)type;
  *size = sizeof not_a_jpeg;
  return not_a_jpeg;
}
