/* Marks what the shared libraries export; everything else stays inside them. */
#ifndef DIRCLIENT_EXPORT_H
#define DIRCLIENT_EXPORT_H

#if defined(__GNUC__) || defined(__clang__)
#define DIRCLIENT_API __attribute__((visibility("default")))
#else
#define DIRCLIENT_API
#endif

#endif
