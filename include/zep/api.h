/* The safe API of the library: open, walk, find, read and write standard
 * files without the library ever ending the process or printing anything.
 *
 * Conventions
 * - Every function returns 0 (or a count) on success and a negative ZEP_E*
 *   code on failure; zep_strerror() gives a text for a code and
 *   zep_last_message() the library's own message of the last failure.
 * - Every buffer is passed with its capacity (in elements); nothing is
 *   written past it. A buffer too small gives ZEP_ETOOSMALL and is left
 *   untouched.
 * - Nothing reachable from these functions prints on standard output or
 *   standard error, or ends the process. Messages of the library are kept
 *   (the last one per file) and passed to the callback set with
 *   zep_set_message_handler(), if any.
 * - Threads: every call takes one library-wide lock (the layers below keep
 *   process-wide tables), so calls from several threads are serialised;
 *   distinct zep_file objects may be used from distinct threads. A zep_file
 *   must not be closed while another thread uses it.
 * - Units of the file table are chosen by the API; as many files may be open
 *   as the table holds, then zep_open gives ZEP_ETOOMANY.
 *
 * The header is C99; link with -lzep (and -lstdc++ -lm for a static link).
 */
#ifndef ZEP_API_H
#define ZEP_API_H

#include <stddef.h>
#include <stdint.h>

#include "zep/export.h"

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Error codes --------------------------------------------------------- */
enum {
  ZEP_OK = 0,
  ZEP_EINVAL = -1,    /* a bad argument: NULL pointer, unknown mode, bad query */
  ZEP_EOPEN = -2,     /* the file cannot be opened or created (see the message) */
  ZEP_ENOTSTD = -3,   /* the file is not a standard file */
  ZEP_EDAMAGED = -4,  /* the file or the record is damaged (see the message) */
  ZEP_ETOOSMALL = -5, /* the caller's buffer cannot hold the result */
  ZEP_ENOTFOUND = -6, /* the record is no longer in the file (erased) */
  ZEP_EREADONLY = -7, /* the file is not open for writing */
  ZEP_EWRITE = -8,    /* a write failed (disk full, refused descriptor, ...) */
  ZEP_ETOOMANY = -9,  /* the file table is full */
  ZEP_ETYPE = -10,    /* the values' type does not fit the record's data type */
  ZEP_ENOMEM = -11,   /* memory could not be allocated */
  ZEP_EINTERNAL = -12 /* an unexpected failure of the library */
};

/* ---- Value types ----------------------------------------------------------- */
typedef enum zep_type {
  ZEP_TYPE_F32 = 1, /* float */
  ZEP_TYPE_F64 = 2, /* double */
  ZEP_TYPE_I32 = 3, /* int32_t (signed integers) */
  ZEP_TYPE_U32 = 4, /* uint32_t (unsigned integers) */
  ZEP_TYPE_U8 = 5   /* uint8_t (characters) */
} zep_type;

/* ---- Records ---------------------------------------------------------------- */
typedef struct zep_file zep_file; /* opaque */

/* A record's descriptor. Texts are NUL-terminated with trailing blanks
 * removed. Integer fields hold the stored values; dateo and datev are the
 * origin and validity stamps as the converter shows them (the origin is the
 * stored valid stamp moved back by deet*npas, datev that origin moved
 * forward again), extra1 the stored valid stamp. */
typedef struct zep_record {
  char nomvar[5], typvar[3], etiket[13], grtyp[2];
  int ip1, ip2, ip3, ni, nj, nk, nbits, datyp;
  int dateo, datev, deet, npas, ig1, ig2, ig3, ig4;

  /* Stored words of the directory entry. */
  int swa;  /* word address of the record */
  int lng;  /* length of the record in 64-bit units */
  int dltf; /* 1 if the record is marked deleted */
  int ubc;  /* unused bit count */
  int extra1, extra2, extra3;

  /* Decoded level of ip1. level_ok is 0 when ip1 cannot be decoded; then
   * level_text is empty (the converter writes an empty <level>). */
  int level_ok;
  float level;             /* the level's value */
  int level_kind;          /* the kind code of the level coding (0..31) */
  char level_kind_text[8]; /* the kind as the converter writes it ("mb", "sg", ...) */
  char level_text[32];     /* the converter's <level> text, leading blanks removed */

  /* Origin and validity times. *_ok is 0 when the stamp cannot be decoded;
   * then the text is empty and the seconds are 0. */
  int dateo_ok, datev_ok;
  char dateo_iso[24], datev_iso[24]; /* "YYYY-MM-DDThh:mm:ssZ" */
  int64_t dateo_unix, datev_unix;    /* seconds since 1970-01-01T00:00:00Z */

  size_t count;   /* number of values: ni*nj*nk */
  zep_type type;  /* the values' natural C type (zep_read reads it exactly) */
  int handle;     /* the search layer's handle of the record (informative) */
  int64_t index;  /* position in file order, from 0 */
  int64_t key[2]; /* opaque: finds the record again while its file is open */
} zep_record;

/* A search query: empty texts and -1 integers are wildcards. datev matches
 * a record's datev as zep_record shows it, or its stored stamp (extra1). */
typedef struct zep_query {
  char nomvar[5], typvar[3], etiket[13];
  int ip1, ip2, ip3, datev;
} zep_query;

/* ---- Files ------------------------------------------------------------------ */
/* mode "r" reads an existing file (random or sequential, any layout the
 * library reads); "w" creates a new random standard file, replacing any file
 * of that name; "a" opens an existing file for reading and writing. A file
 * has one writer at a time: while a program has it open with "w" or "a",
 * another "w" or "a" open fails with ZEP_EOPEN (and "w" leaves it as it is);
 * "r" never waits and never writes. */
ZEP_EXPORT int zep_open(const char *path, const char *mode, zep_file **out);
/* Closes the file and frees f; reports a failed final write. f may be NULL. */
ZEP_EXPORT int zep_close(zep_file *f);
/* Number of live records (deleted ones not counted). */
ZEP_EXPORT long zep_count(zep_file *f);

/* Walk in file order: 1 = a record in *rec, 0 = end, < 0 = error. */
ZEP_EXPORT int zep_next(zep_file *f, zep_record *rec);
ZEP_EXPORT int zep_rewind(zep_file *f);

/* Sets every field of *q to its wildcard. */
ZEP_EXPORT void zep_query_init(zep_query *q);
/* Every record matching q, in file order. Writes at most capacity records
 * into out and returns the number of matches (which may exceed capacity, as
 * snprintf does), or < 0. out may be NULL when capacity is 0. */
ZEP_EXPORT long zep_find(zep_file *f, const zep_query *q, zep_record *out, size_t capacity);

/* ---- Values ----------------------------------------------------------------- */
/* Each returns the number of values read (rec->count) or < 0.
 * zep_read_f32 gives every data type as floats exactly as the converter shows
 * them (64-bit IEEE rounded to the nearest float, integers converted);
 * zep_read_f64 keeps 64-bit IEEE and integers exact; zep_read_i32 and
 * zep_read_u32 read integer records (either signedness, bit patterns kept);
 * zep_read_u8 reads character records. Other combinations give ZEP_ETYPE. */
ZEP_EXPORT long zep_read_f32(zep_file *f, const zep_record *rec, float *out, size_t capacity);
ZEP_EXPORT long zep_read_f64(zep_file *f, const zep_record *rec, double *out, size_t capacity);
ZEP_EXPORT long zep_read_i32(zep_file *f, const zep_record *rec, int32_t *out, size_t capacity);
ZEP_EXPORT long zep_read_u32(zep_file *f, const zep_record *rec, uint32_t *out, size_t capacity);
ZEP_EXPORT long zep_read_u8(zep_file *f, const zep_record *rec, uint8_t *out, size_t capacity);
/* Reads into a buffer of the given type (capacity in elements). */
ZEP_EXPORT long zep_read(zep_file *f, const zep_record *rec, zep_type type, void *out,
                         size_t capacity);

/* ---- Writing ---------------------------------------------------------------- */
/* Sets *desc to a descriptor of defaults: blanks, ip and ig 0, ni=nj=nk=1,
 * grtyp "X", datyp 1 (packed reals), nbits 16, dates 0, deet 0, npas 0. */
ZEP_EXPORT void zep_record_init(zep_record *desc);
/* Writes count values of the given type as a new record described by desc
 * (nomvar, typvar, etiket, grtyp, ip1..ip3, ni, nj, nk, nbits, datyp, dateo,
 * deet, npas, ig1..ig4; the other fields are ignored). count must equal
 * ni*nj*nk. Packing follows datyp and nbits as the writer does. Float values
 * suit datyp 1, 5, 6 (and their compressed forms), integers datyp 2 and 4,
 * bytes datyp 3. */
ZEP_EXPORT int zep_write(zep_file *f, const zep_record *desc, zep_type type, const void *values,
                         size_t count);
/* Marks the record deleted. */
ZEP_EXPORT int zep_erase(zep_file *f, const zep_record *rec);
/* Appends the record's stored words, bit for bit, to dst. */
ZEP_EXPORT int zep_copy_record(zep_file *dst, zep_file *src, const zep_record *rec);

/* ---- Diagnosis -------------------------------------------------------------- */
typedef struct zep_check_report {
  int64_t records;   /* live records */
  int64_t deleted;   /* records marked deleted */
  int64_t pages;     /* directory pages (0 for sequential files) */
  int64_t bytes;     /* size of the file */
  int sequential;    /* 1 for a sequential file */
  int damaged;       /* 1 if any damage was found */
  char message[512]; /* the first damage found, "" if none */
} zep_check_report;
/* Examines the file at path. Returns 0 when the examination ran (see
 * report->damaged) or < 0 when the file could not be examined at all. */
ZEP_EXPORT int zep_check(const char *path, zep_check_report *report);

/* ---- Coding helpers --------------------------------------------------------- */
/* Date-time stamp <-> seconds since 1970 (UTC). */
ZEP_EXPORT int zep_stamp_to_unix(int stamp, int64_t *seconds);
ZEP_EXPORT int zep_stamp_from_unix(int64_t seconds, int *stamp);
/* Seconds since 1970 (UTC) of a date YYYYMMDD (years 0 to 9999, Gregorian
 * calendar throughout) and a time HHMMSShh (the hundredths are dropped).
 * ZEP_EINVAL for a day or a time of day that does not exist. */
ZEP_EXPORT int zep_date_to_unix(int date, int time, int64_t *seconds);
/* Grid parameters xg1..xg4 of a grid type and its ig1..ig4. */
ZEP_EXPORT int zep_grid_params(const char *grtyp, int ig1, int ig2, int ig3, int ig4, float xg[4]);

/* ---- Messages and version --------------------------------------------------- */
/* Never NULL. */
ZEP_EXPORT const char *zep_strerror(int code);
/* The library's message of the last failure on f ("" if none). With f NULL,
 * the message of the calling thread's last failed zep_open or zep_check. */
ZEP_EXPORT const char *zep_last_message(const zep_file *f);
/* Receives every message the library emits under a zep_* call (severity as
 * the library grades it, text without the final newline); NULL removes it. */
typedef void (*zep_message_fn)(void *context, int severity, const char *text);
ZEP_EXPORT void zep_set_message_handler(zep_message_fn fn, void *context);
/* "MAJOR.MINOR.PATCH". */
ZEP_EXPORT const char *zep_version(void);

#ifdef __cplusplus
}
#endif

#endif
