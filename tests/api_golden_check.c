/* Every golden standard file listed through the safe API only (zep_*), each
 * record's descriptors, level, dates and values compared with the
 * converter's document for that file (NAME.xml beside NAME.vkt).
 *
 * Besides the document, each file checks the API's own promises: the count
 * equals the walk, a buffer one value short is refused and left untouched,
 * the typed reads agree with the float and double reads, and every record
 * is read again by its key after the walk has ended (sequential files
 * included) with the same values.
 *
 * Usage: api_golden_check GOLDEN_DIR. Prints "all checks passed" on
 * success. */
#include <dirent.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "zep/api.h"

static int failures;
static long records_checked, values_checked;

#define FAIL(...)                   \
  do {                              \
    if (failures < 60) {            \
      fprintf(stderr, __VA_ARGS__); \
      fputc('\n', stderr);          \
    }                               \
    ++failures;                     \
  } while (0)

static char *slurp(const char *path, size_t *size) {
  FILE *in = fopen(path, "rb");
  if (!in) return NULL;
  fseek(in, 0, SEEK_END);
  long n = ftell(in);
  fseek(in, 0, SEEK_SET);
  char *buf = malloc((size_t)n + 1);
  if (buf && fread(buf, 1, (size_t)n, in) != (size_t)n) {
    free(buf);
    buf = NULL;
  }
  fclose(in);
  if (buf) {
    buf[n] = '\0';
    *size = (size_t)n;
  }
  return buf;
}

/* The text of <tag>...</tag> inside [from, to), or NULL. Not copied: the
 * length goes to *len. */
static const char *element(const char *from, const char *to, const char *tag, size_t *len) {
  char open[64], close[64];
  snprintf(open, sizeof open, "<%s>", tag);
  snprintf(close, sizeof close, "</%s>", tag);
  const char *a = strstr(from, open);
  if (!a || a >= to) return NULL;
  a += strlen(open);
  const char *b = strstr(a, close);
  if (!b || b > to) return NULL;
  *len = (size_t)(b - a);
  return a;
}

static int element_int(const char *from, const char *to, const char *tag, long long *v) {
  size_t len;
  const char *t = element(from, to, tag, &len);
  if (!t) return 0;
  *v = strtoll(t, NULL, 10);
  return 1;
}

/* The document's escaping of a text (as the converter writes names). */
static void escape(const char *text, char *out, size_t cap) {
  static const char hex[] = "0123456789ABCDEF";
  size_t o = 0;
  for (const unsigned char *p = (const unsigned char *)text; *p && o + 10 < cap; ++p) {
    const unsigned char c = *p;
    if (c == '&')
      o += (size_t)sprintf(out + o, "&amp;");
    else if (c == '<')
      o += (size_t)sprintf(out + o, "&lt;");
    else if (c == '>')
      o += (size_t)sprintf(out + o, "&gt;");
    else if (c == '\t' || c == '\n' || c == '\r')
      out[o++] = (char)c;
    else if (c < 0x20)
      o += (size_t)sprintf(out + o, "&#xFFFD;");
    else if (c >= 0x80)
      o += (size_t)sprintf(out + o, "&#x%c%c;", hex[c >> 4], hex[c & 15]);
    else
      out[o++] = (char)c;
  }
  out[o] = '\0';
}

/* The element's text with leading (when asked) and trailing blanks removed. */
static void element_text(const char *from, const char *to, const char *tag, int lead, char *out,
                         size_t cap) {
  size_t len = 0;
  const char *t = element(from, to, tag, &len);
  out[0] = '\0';
  if (!t) return;
  if (lead)
    while (len > 0 && *t == ' ') ++t, --len;
  while (len > 0 && t[len - 1] == ' ') --len;
  if (len >= cap) len = cap - 1;
  memcpy(out, t, len);
  out[len] = '\0';
}

static void check_text(const char *file, long index, const char *what, const char *mine,
                       const char *from, const char *to, const char *tag) {
  char expected[256], escaped[256];
  element_text(from, to, tag, 0, expected, sizeof expected);
  escape(mine, escaped, sizeof escaped);
  if (strcmp(expected, escaped) != 0)
    FAIL("%s record %ld: %s is [%s], the document has [%s]", file, index, what, escaped, expected);
}

static uint64_t checksum(const void *data, size_t bytes) {
  const unsigned char *p = data;
  uint64_t h = 1469598103934665603ull;
  for (size_t i = 0; i < bytes; ++i) h = (h ^ p[i]) * 1099511628211ull;
  return h;
}

/* Reads rec as floats; returns the count or < 0 and leaves *out allocated. */
static long read_floats(zep_file *f, const zep_record *rec, float **out) {
  *out = malloc(sizeof(float) * (rec->count + 1));
  if (!*out) return -1;
  return zep_read_f32(f, rec, *out, rec->count);
}

static void check_values(const char *file, zep_file *f, const zep_record *r, const char *from,
                         const char *to, uint64_t *sum) {
  const int kind = r->datyp & 0x7F;
  size_t len = 0;
  const char *t = element(from, to, "values", &len);
  if (!t) {
    FAIL("%s record %lld: no values in the document", file, (long long)r->index);
    return;
  }
  float *fv = NULL;
  double *dv = malloc(sizeof(double) * (r->count + 1));
  const long nf = read_floats(f, r, &fv);
  const long nd = dv ? zep_read_f64(f, r, dv, r->count) : -1;
  if (nf != (long)r->count || nd != (long)r->count) {
    FAIL("%s record %lld: reads gave %ld floats and %ld doubles for %zu values (%s)", file,
         (long long)r->index, nf, nd, r->count, zep_last_message(f));
    free(fv);
    free(dv);
    return;
  }
  *sum = checksum(fv, r->count * sizeof(float)) ^ checksum(dv, r->count * sizeof(double));

  /* The document's values: integers as doubles, everything else as floats. */
  const char *p = t, *end = t + len;
  for (size_t i = 0; i < r->count; ++i) {
    while (p < end && (*p == ' ' || *p == '\t' || *p == '\n')) ++p;
    const char *q = p;
    while (q < end && *q != ' ' && *q != '\t' && *q != '\n') ++q;
    if (p >= end) {
      FAIL("%s record %lld: the document has %zu values, the API %zu", file, (long long)r->index, i,
           r->count);
      break;
    }
    char expected[64], mine[64];
    size_t n = (size_t)(q - p) < sizeof expected - 1 ? (size_t)(q - p) : sizeof expected - 1;
    memcpy(expected, p, n);
    expected[n] = '\0';
    if (kind == 2 || kind == 4)
      snprintf(mine, sizeof mine, "%.6g", dv[i]);
    else
      snprintf(mine, sizeof mine, "%.6g", (double)fv[i]);
    if (strcmp(mine, expected) != 0) {
      FAIL("%s record %lld value %zu: the API gives %s, the document %s", file, (long long)r->index,
           i, mine, expected);
      break;
    }
    /* Doubles keep what floats round: 64-bit IEEE rounds to the same float. */
    if (!(kind == 2 || kind == 4) && (float)dv[i] != fv[i] && fv[i] == fv[i]) {
      FAIL("%s record %lld value %zu: double %.17g does not round to float %.9g", file,
           (long long)r->index, i, dv[i], (double)fv[i]);
      break;
    }
    ++values_checked;
    p = q;
  }

  /* Native reads: integers keep their bits, characters their codes. */
  if (kind == 2 || kind == 4) {
    int32_t *iv = malloc(sizeof(int32_t) * (r->count + 1));
    uint32_t *uv = malloc(sizeof(uint32_t) * (r->count + 1));
    if (zep_read_i32(f, r, iv, r->count) != (long)r->count ||
        zep_read_u32(f, r, uv, r->count) != (long)r->count) {
      FAIL("%s record %lld: integer reads failed (%s)", file, (long long)r->index,
           zep_last_message(f));
    } else {
      for (size_t i = 0; i < r->count; ++i) {
        const double want = kind == 2 ? (double)uv[i] : (double)iv[i];
        if (want != dv[i] || (uint32_t)iv[i] != uv[i]) {
          FAIL("%s record %lld value %zu: integer reads %d/%u, double %.17g", file,
               (long long)r->index, i, iv[i], uv[i], dv[i]);
          break;
        }
      }
    }
    if (r->type != (kind == 2 ? ZEP_TYPE_U32 : ZEP_TYPE_I32))
      FAIL("%s record %lld: natural type %d for datyp %d", file, (long long)r->index, (int)r->type,
           r->datyp);
    free(iv);
    free(uv);
  } else if (kind == 3) {
    uint8_t *cv = malloc(r->count + 1);
    if (zep_read_u8(f, r, cv, r->count) != (long)r->count) {
      FAIL("%s record %lld: character read failed (%s)", file, (long long)r->index,
           zep_last_message(f));
    } else {
      for (size_t i = 0; i < r->count; ++i)
        if ((float)cv[i] != fv[i]) {
          FAIL("%s record %lld value %zu: character %u, float %g", file, (long long)r->index, i,
               cv[i], (double)fv[i]);
          break;
        }
    }
    free(cv);
  } else if (r->count > 0) {
    int32_t one;
    if (zep_read_i32(f, r, &one, r->count) != ZEP_ETYPE)
      FAIL("%s record %lld: an integer read of datyp %d is not refused", file, (long long)r->index,
           r->datyp);
  }

  /* One value short: refused, buffer untouched. */
  if (r->count > 0) {
    for (size_t i = 0; i < r->count; ++i) fv[i] = -12345.0f;
    const long rc = zep_read_f32(f, r, fv, r->count - 1);
    int touched = 0;
    for (size_t i = 0; i < r->count; ++i) touched |= fv[i] != -12345.0f;
    if (rc != ZEP_ETOOSMALL || touched)
      FAIL("%s record %lld: a buffer one short gave %ld (touched %d)", file, (long long)r->index,
           rc, touched);
  }
  free(fv);
  free(dv);
}

static void check_record(const char *file, zep_file *f, const zep_record *r, const char *from,
                         const char *to, uint64_t *sum) {
  const long idx = (long)r->index;
  check_text(file, idx, "nomvar", r->nomvar, from, to, "nomvar");
  check_text(file, idx, "typvar", r->typvar, from, to, "typvar");
  check_text(file, idx, "etiket", r->etiket, from, to, "etiket");
  check_text(file, idx, "grtyp", r->grtyp, from, to, "grtyp");
  const struct {
    const char *tag;
    long long mine;
  } ints[] = {
      {"ip1", r->ip1},       {"ip2", r->ip2},       {"ip3", r->ip3},       {"ni", r->ni},
      {"nj", r->nj},         {"nk", r->nk},         {"dateo", r->dateo},   {"datev", r->datev},
      {"deet", r->deet},     {"npas", r->npas},     {"ig1", r->ig1},       {"ig2", r->ig2},
      {"ig3", r->ig3},       {"ig4", r->ig4},       {"nbits", r->nbits},   {"datyp", r->datyp},
      {"swa", r->swa},       {"lng", r->lng},       {"dltf", r->dltf},     {"ubc", r->ubc},
      {"extra1", r->extra1}, {"extra2", r->extra2}, {"extra3", r->extra3},
  };
  for (size_t i = 0; i < sizeof ints / sizeof ints[0]; ++i) {
    long long v;
    if (!element_int(from, to, ints[i].tag, &v))
      FAIL("%s record %ld: no <%s>", file, idx, ints[i].tag);
    else if (v != ints[i].mine)
      FAIL("%s record %ld: %s is %lld, the document has %lld", file, idx, ints[i].tag, ints[i].mine,
           v);
  }
  if ((long long)r->count != (long long)r->ni * r->nj * r->nk)
    FAIL("%s record %ld: count %zu is not ni*nj*nk", file, idx, r->count);

  char level[64], origin[64], validity[64];
  element_text(from, to, "level", 1, level, sizeof level);
  if (strcmp(level, r->level_text) != 0 || (r->level_ok != 0) != (level[0] != '\0'))
    FAIL("%s record %ld: level [%s] (ok %d), the document has [%s]", file, idx, r->level_text,
         r->level_ok, level);
  if (r->level_ok && r->level_kind_text[0] != '\0' &&
      strcmp(level + strlen(level) - strlen(r->level_kind_text), r->level_kind_text) != 0)
    FAIL("%s record %ld: level kind [%s] does not end [%s]", file, idx, r->level_kind_text, level);
  element_text(from, to, "date-of-origin", 1, origin, sizeof origin);
  element_text(from, to, "date-of-validity", 1, validity, sizeof validity);
  const char *unreadable = "0000-00-00T00:00:00Z";
  if (strcmp(origin, r->dateo_ok ? r->dateo_iso : unreadable) != 0)
    FAIL("%s record %ld: origin [%s] (ok %d), the document has [%s]", file, idx, r->dateo_iso,
         r->dateo_ok, origin);
  if (r->datev_ok && strcmp(validity, r->datev_iso) != 0)
    FAIL("%s record %ld: validity [%s], the document has [%s]", file, idx, r->datev_iso, validity);
  if (r->dateo_ok) {
    int64_t s = 0;
    if (zep_stamp_to_unix(r->dateo, &s) != 0 || s != r->dateo_unix)
      FAIL("%s record %ld: origin seconds %lld, the helper gives %lld", file, idx,
           (long long)r->dateo_unix, (long long)s);
  }
  check_values(file, f, r, from, to, sum);
  ++records_checked;
}

static void check_file(const char *dir, const char *name) {
  char vkt[4096], xml[4096];
  snprintf(vkt, sizeof vkt, "%s/%s", dir, name);
  snprintf(xml, sizeof xml, "%s/%.*s.xml", dir, (int)(strlen(name) - 4), name);
  size_t size = 0;
  char *doc = slurp(xml, &size);
  if (!doc) return; /* a standard file without a document */

  zep_file *f = NULL;
  int rc = zep_open(vkt, "r", &f);
  if (rc != 0) {
    FAIL("%s: open gave %d: %s", name, rc, zep_last_message(NULL));
    free(doc);
    return;
  }
  size_t cap = 16, n = 0;
  zep_record *seen = malloc(cap * sizeof *seen);
  uint64_t *sums = malloc(cap * sizeof *sums);
  const char *cursor = doc;
  zep_record r;
  while ((rc = zep_next(f, &r)) == 1) {
    const char *from = strstr(cursor, "<vktrecord>");
    const char *to = from ? strstr(from, "</vktrecord>") : NULL;
    if (!from || !to) {
      FAIL("%s: the API lists more records than the document", name);
      break;
    }
    if ((size_t)r.index != n) FAIL("%s: record %zu has index %lld", name, n, (long long)r.index);
    if (n == cap) {
      cap *= 2;
      seen = realloc(seen, cap * sizeof *seen);
      sums = realloc(sums, cap * sizeof *sums);
    }
    sums[n] = 0;
    check_record(name, f, &r, from, to, &sums[n]);
    seen[n++] = r;
    cursor = to;
  }
  if (rc < 0) FAIL("%s: the walk ended with %d: %s", name, rc, zep_last_message(f));
  if (rc == 0 && strstr(cursor, "<vktrecord>"))
    FAIL("%s: the document lists more records than the API", name);
  if (zep_next(f, &r) != 0) FAIL("%s: the walk does not stay at its end", name);
  const long count = zep_count(f);
  if (count != (long)n) FAIL("%s: zep_count gives %ld, the walk %zu", name, count, n);

  /* Every record again by its key, after the walk, in reverse order. */
  for (size_t i = n; i-- > 0;) {
    float *fv = NULL;
    double *dv = malloc(sizeof(double) * (seen[i].count + 1));
    const long nf = read_floats(f, &seen[i], &fv);
    const long nd = zep_read_f64(f, &seen[i], dv, seen[i].count);
    if (nf != (long)seen[i].count || nd != (long)seen[i].count) {
      FAIL("%s record %zu: read again gave %ld/%ld (%s)", name, i, nf, nd, zep_last_message(f));
    } else {
      const uint64_t s = checksum(fv, seen[i].count * sizeof(float)) ^
                         checksum(dv, seen[i].count * sizeof(double));
      if (s != sums[i]) FAIL("%s record %zu: read again, its values differ", name, i);
    }
    free(fv);
    free(dv);
  }

  /* Each record is found by its own name and datev (the datev it shows, which
   * differs from the stored stamp when that stamp is not a real date). */
  for (size_t i = 0; i < n; ++i) {
    zep_query q;
    zep_query_init(&q);
    snprintf(q.nomvar, sizeof q.nomvar, "%s", seen[i].nomvar);
    q.datev = seen[i].datev;
    const long found = zep_find(f, &q, NULL, 0);
    zep_record *hits = malloc(sizeof *hits * (size_t)(found > 0 ? found : 1));
    int hit = 0;
    if (found > 0 && zep_find(f, &q, hits, (size_t)found) == found)
      for (long k = 0; k < found; ++k) hit |= hits[k].index == seen[i].index;
    if (!hit)
      FAIL("%s record %zu: not found by its name and datev %d (%ld found)", name, i, seen[i].datev,
           found);
    free(hits);
  }

  /* Rewind lists the same first record. */
  if (n > 0) {
    if (zep_rewind(f) != 0 || zep_next(f, &r) != 1 || r.index != 0 || r.key[0] != seen[0].key[0] ||
        strcmp(r.nomvar, seen[0].nomvar) != 0)
      FAIL("%s: rewind does not list the first record again", name);
  }
  rc = zep_close(f);
  if (rc != 0) FAIL("%s: close gave %d", name, rc);
  free(seen);
  free(sums);
  free(doc);
}

static int by_name(const void *a, const void *b) {
  return strcmp(*(char *const *)a, *(char *const *)b);
}

int main(int argc, char **argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: %s GOLDEN_DIR\n", argv[0]);
    return 2;
  }
  DIR *d = opendir(argv[1]);
  if (!d) {
    fprintf(stderr, "%s: cannot list %s\n", argv[0], argv[1]);
    return 2;
  }
  char *names[512];
  int count = 0;
  struct dirent *e;
  while ((e = readdir(d)) != NULL && count < 512) {
    const size_t len = strlen(e->d_name);
    if (len > 4 && strcmp(e->d_name + len - 4, ".vkt") == 0) names[count++] = strdup(e->d_name);
  }
  closedir(d);
  qsort(names, (size_t)count, sizeof names[0], by_name);
  for (int i = 0; i < count; ++i) {
    check_file(argv[1], names[i]);
    free(names[i]);
  }
  printf("api golden: %d files, %ld records, %ld values checked, %d failures\n", count,
         records_checked, values_checked, failures);
  if (count == 0 || records_checked == 0) {
    printf("no golden file was checked\n");
    return 1;
  }
  if (failures == 0) printf("all checks passed\n");
  return failures == 0 ? 0 : 1;
}
