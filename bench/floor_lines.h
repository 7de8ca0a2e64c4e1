/* What both floor walkers put into a line: bytes, zero-padded numbers and a time stamp. */
#ifndef FLOOR_LINES_H
#define FLOOR_LINES_H

#include <string.h>

static char* Put(char* to, const char* text, size_t length) {
  memcpy(to, text, length);
  return to + length;
}

static char* PutDigits(char* to, int value, int width) {
  for (int at = width - 1; at >= 0; --at, value /= 10) to[at] = (char)('0' + value % 10);
  return to + width;
}

/* Year/month/day hour:minute:second and four spaces, as foldgraf shows a file's time. */
static char* PutCalendar(char* to, int year, int month, int day, int hour, int minute, int second) {
  to = PutDigits(to, year, 4);
  *to++ = '/';
  to = PutDigits(to, month, 2);
  *to++ = '/';
  to = PutDigits(to, day, 2);
  *to++ = ' ';
  to = PutDigits(to, hour, 2);
  *to++ = ':';
  to = PutDigits(to, minute, 2);
  *to++ = ':';
  to = PutDigits(to, second, 2);
  return Put(to, "    ", 4);
}

/* A time that cannot be had, as wide as one that can. */
static char* PutUnknownTime(char* to) {
  return Put(to,
             "????"
             "/??"
             "/??"
             " ??:??:??    ",
             23);
}

#endif
