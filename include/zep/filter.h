/* Request filter and directive reader of the standard-file layer.
 *
 * The request filter holds 20 numbered request sets. Each set lists the
 * labels, variable names, field types, origin dates and level codes that are
 * wanted (a desire set, des_exc = 1) or unwanted (an exclusion set, any other
 * des_exc). Every search of every open standard file asks c_vkt_match_req
 * about the records whose keys matched. The sets are filled by a program
 * through the c_desire_* setters, or once per process from the directive file
 * named by the environment variable VKT_FILTER_FILE.
 *
 * The directive reader cuts a text of directives such as
 *     nomvar(0, 1, [TT, GZ])
 *     ip1 = 0, 1, 2, [<1000, 500, -100>];
 * into verbs and arguments and calls the handler registered for each verb.
 */
#ifndef ZEP_FILTER_H
#define ZEP_FILTER_H

#include "zep/export.h"

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Directive reader ------------------------------------------------- */

/* A verb handler. argv[0] is the verb, argv[1..argc] the arguments as texts
 * (argv[argc + 1] is NULL); cmd is '(' or '='. private1 and private2 are the
 * values given at registration. A non-zero result counts the directive as
 * failed. */
typedef int (*zep_directive_fn)(int argc, char **argv, char cmd, void *private1, int private2);

/* The by-reference form: argv is one block of argc + 1 texts, each blank
 * padded to `width` characters; cmd_len is always 1. */
typedef int (*zep_directive_ref_fn)(int *argc, char *argv, char *cmd, void *private1, int *private2,
                                    size_t width, size_t cmd_len);

/// Registers verb `name` (cut to 16 characters, case-sensitive); a later
/// registration of a name hides the earlier one. `options` is ignored.
/// Returns the number of registered verbs, or -1 when the name or handler is
/// missing or the table already holds 1023 verbs.
ZEP_EXPORT int zep_c_callback(const char *name, zep_directive_fn handler, const char *options,
                              void *private1, int private2);

/// Reads directives from the file `path` (standard input when NULL) up to
/// its end and calls the handlers. Returns the number of failed directives;
/// 1 when the file cannot be opened.
ZEP_EXPORT int process_c_callback(const char *path);

/// Index of verb `name` in the verb table, or -1.
ZEP_EXPORT int Find_Callback(const char *name);

/// Sample handler: prints its private values, the command type and argv.
ZEP_EXPORT int Print_Args(int argc, char **argv, char cmd, void *private1, int private2);

/* ---- Request filter ---------------------------------------------------- */

/* Setters. set_nb 0..19; des_exc 1 for a desire set, anything else for an
 * exclusion set; nelm 1..40 values, or -2 for an interval of two values.
 * Each returns 0, or a negative code after a message on standard error. */

/// Wanted labels, each kept to at most 12 characters.
ZEP_EXPORT int c_desire_etiquette(int set_nb, int des_exc, char **etiquettes, int nelm);
/// Wanted variable names, each kept to at most 4 characters.
ZEP_EXPORT int c_desire_nomvar(int set_nb, int des_exc, char **nomvars, int nelm);
/// Wanted field types, each kept to at most 2 characters.
ZEP_EXPORT int c_desire_typvar(int set_nb, int des_exc, char **typvars, int nelm);
/// Wanted origin dates (stamps). delta (hours) non-zero walks the interval
/// of the first two stamps with that step; it then needs nelm 2 or -2.
ZEP_EXPORT int c_desire_date(int set_nb, int des_exc, int *dates, int nelm, float delta);
/// Wanted levels. kind -1: `values` are int level codes (a code of -1 stands
/// for the record's own level in an interval); kind -2: int values under a
/// kind that no decoded level has (such a criterion never holds); any other
/// kind: float level values of that kind.
ZEP_EXPORT int c_desire_ip1(int set_nb, int des_exc, void *values, int nelm, int kind);
/// Wanted ip2: type -1 int codes, otherwise float values (the matcher only
/// accepts lists of int codes).
ZEP_EXPORT int c_desire_ip2(int set_nb, int des_exc, void *values, int nelm, int type);
/// Wanted ip3: int codes, lists only (type is not used).
ZEP_EXPORT int c_desire_ip3(int set_nb, int des_exc, void *values, int nelm, int type);
/// The sets the matcher walks, first_set_nb..last_set_nb (0..19 at start).
ZEP_EXPORT int c_desire_groupset(int first_set_nb, int last_set_nb);
/// Empties set set_nb and clears each criterion whose argument is not -1.
ZEP_EXPORT int c_requetes_reset(int set_nb, int nomvars, int typvars, int etiquettes, int dates,
                                int ip1s, int ip2s, int ip3s);
/// Opens the debug stream (DEBUGFILE, else the null device), empties every
/// set and reads the file named by VKT_FILTER_FILE when it is set. Returns 0,
/// or the directive file's result.
ZEP_EXPORT int c_requetes_init(void);
/// Reads a directive file into the sets; returns the number of failed
/// directives, or -1 when the file cannot be opened.
ZEP_EXPORT int c_requetes_read_file(const char *path);
/// 1 when the record of `handle` passes the sets, 0 when it does not.
ZEP_EXPORT int c_vkt_match_req(int handle);

/* ---- By-reference twins ------------------------------------------------ */

ZEP_EXPORT int zep_f_callback_(const char *name, zep_directive_ref_fn handler, const char *options,
                               void *private1, int *private2, size_t name_len, size_t options_len);
ZEP_EXPORT int process_f_callback_(const char *path, size_t path_len);
ZEP_EXPORT int desire_etiquette_(int *set_nb, int *des_exc, const char *etiquettes, int *nelm,
                                 size_t lng);
ZEP_EXPORT int desire_nomvar_(int *set_nb, int *des_exc, const char *nomvars, int *nelm,
                              size_t lng);
ZEP_EXPORT int desire_typvar_(int *set_nb, int *des_exc, const char *typvars, int *nelm,
                              size_t lng);
ZEP_EXPORT int desire_date_(int *set_nb, int *des_exc, int *dates, int *nelm, float *delta);
ZEP_EXPORT int desire_ip1_(int *set_nb, int *des_exc, void *values, int *nelm, int *kind);
ZEP_EXPORT int desire_ip2_(int *set_nb, int *des_exc, void *values, int *nelm, int *type);
ZEP_EXPORT int desire_ip3_(int *set_nb, int *des_exc, void *values, int *nelm, int *type);
ZEP_EXPORT int vkt_match_req_(int *handle);

#ifdef __cplusplus
}
#endif

#endif /* ZEP_FILTER_H */
