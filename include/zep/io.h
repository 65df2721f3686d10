/* Low-level I/O of the ZEP library: the master file table that binds unit
 * numbers to files, word-addressable files with their page cache and
 * archive members, and detection of a file's kind from its first bytes.
 *
 * Conventions: unit numbers are 1..999; word addresses count 32-bit words
 * from 1; words are big-endian on disk and in host order in the caller's
 * buffers. Failures return -1 (-2 for a read that starts past the end of a
 * file) after a message on standard error. Conditions that leave a file
 * untrustworthy (short writes, failed page transfers) end the process with
 * status 1.
 */
#ifndef ZEP_IO_H
#define ZEP_IO_H

#include <stddef.h>
#include <stdio.h>

#ifdef __cplusplus
extern "C" {
#endif

/* ---- File table and unit association ---------------------------------- */

/* Binds a unit to a file. `iun` is the unit itself when its value is 1..999,
 * otherwise a pointer to an int holding the unit; a held value of 0 asks for
 * a free unit, which is stored back. Returns 0 on success, -1 on failure. */
int c_fnom(void *iun, const char *name, const char *attributes, int lrec);
/* Releases a unit; -1 if it is not bound. */
int c_fclos(int iun);
/* A unit number not in use (from 99 down for record-unit files, else from
 * 999 down, never below 11), or -1 when every candidate is taken. */
int c_qqqfscr(const char *attributes);
/* Index of the table row holding `iun`, or -1 after
 * "<caller> error: unit <iun> is not associated with any file". */
int find_file_entry(const char *caller, int iun);
/* Restores row `index` to the free state. */
void reset_file_entry(int index);
void d_fgfdt_(void);
void dump_file_entry(int index);

/* By-reference forms; each character argument adds a hidden length. */
int fnom_(int *iun, const char *name, const char *attributes, int *lrec,
          size_t name_len, size_t attributes_len);
int fclos_(int *iun);
int qqqfnom_(int *iun, char *name, char *type, int *lrec, size_t name_len,
             size_t type_len);
int existe_(const char *name, size_t name_len);
int longueur_(const char *string, size_t len);
void qqexit_(int *status);

/* ---- Word-addressable files -------------------------------------------- */

int c_waopen2(int iun);
/* c_waopen2, ending the process with status 1 on a result of 0 or less. */
int c_waopen(int iun);
int c_waclos2(int iun);
int c_waclos(int iun);
/* Writes nmots host-order words from buf at word address adr; returns nmots
 * (0 for a count of 0 or less) or -1. buf is swapped in place during the
 * call on a little-endian host and is unchanged when the call returns. */
int c_wawrit2(int iun, void *buf, unsigned int adr, int nmots);
int c_wawrit(int iun, void *buf, unsigned int adr, int nmots);
/* Reads up to nmots words from word address adr; returns the count read,
 * -1 for a unit not bound or not open, -2 when adr is past the readable end.
 * Never writes more than nmots words into buf. */
int c_waread2(int iun, void *buf, unsigned int adr, int nmots);
/* c_waread2, printing the end-of-file lines on -2. */
int c_waread(int iun, void *buf, unsigned int adr, int nmots);
/* Readable size of the unit in words; -1 for an unbound unit. */
int c_wasize(int iun);
/* Number of 256-word blocks of the unit, or c_wasize's negative result. */
int c_numblks(int iun);
void d_wafdt_(void);

int waopen_(int *iun);
int waopen2_(int *iun);
int waclos_(int *iun);
int waclos2_(int *iun);
int wawrit_(int *iun, void *buf, unsigned int *adr, int *nmots);
int wawrit2_(int *iun, void *buf, unsigned int *adr, int *nmots);
int waread_(int *iun, void *buf, unsigned int *adr, int *nmots);
int waread2_(int *iun, void *buf, unsigned int *adr, int *nmots);
int wasize_(int *iun);
int numblks_(int *iun);

/* Word utilities. */
void MOVE(const void *source, void *destination, int *nmots);
void ZERO(void *buffer, int *nmots);
unsigned int hrjust_(unsigned int *word, int *n);
unsigned int hljust_(unsigned int *word, int *n);

/* ---- File-kind detection ----------------------------------------------- */

/* Kind code of the named file: -3 cannot be opened, -2 empty, -1 unknown,
 * 33 random standard file, 34 sequential standard file, and the others of
 * the kind table. `name` is a fixed-length blank-padded field. */
int wkoffit_(const char *name, size_t name_len);
int test_fichier(const char *path);
int isgif(const char *path);
int isrrbx(const char *path);
int issun(const char *path);
int isxwd(const char *path);
int isppm(const char *path);
int iskmw(const char *path);
int isps(const char *path);
int ispcl(const char *path);
int ReadFileType(const char *path);
int isftnbin(FILE *stream, int n);

/* Big-endian block transfers: the count of items moved, or -1 for an item
 * size that is not a multiple of the value size. */
size_t fread32(void *ptr, size_t size, size_t nitems, FILE *stream);
size_t fwrite32(void *ptr, size_t size, size_t nitems, FILE *stream);
size_t fread16(void *ptr, size_t size, size_t nitems, FILE *stream);
size_t fwrite16(void *ptr, size_t size, size_t nitems, FILE *stream);
size_t fread64(void *ptr, size_t size, size_t nitems, FILE *stream);
size_t fwrite64(void *ptr, size_t size, size_t nitems, FILE *stream);

/* Entry points that are not provided: each prints
 * "Error: call to stub version of module <name>" and ends the process. */
void vktcvt2(void);
void vktcvt2_(void);
void build_qolt_prim_keys(void);
void build_qolt_info_keys(void);
void build_qolt_prim_keys_(void);
void build_qolt_info_keys_(void);

#ifdef __cplusplus
}
#endif

#endif /* ZEP_IO_H */
