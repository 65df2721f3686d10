/* Visibility of the public C entry points: the shared library exports the
 * declarations marked ZEP_EXPORT and nothing else. */
#ifndef ZEP_EXPORT_H
#define ZEP_EXPORT_H

#if defined(_WIN32)
#define ZEP_EXPORT
#elif defined(__GNUC__) || defined(__clang__)
#define ZEP_EXPORT __attribute__((visibility("default")))
#else
#define ZEP_EXPORT
#endif

#endif
