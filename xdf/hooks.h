// Operations that the standard-file layer lends the directory-file layer.
//
// The directory-file layer sits below the standard-file layer and must not
// call it by name. Instead, the standard-file layer registers these hooks
// (idempotently) before it opens its first file; the directory-file layer
// then installs build_primary/build_info/record_filter for every file whose
// application code contains "STD", and calls package_init once when it
// initialises its package (the request filter's table is built there).
// Any hook left null is simply not called (the generic builders are used).
#pragma once

#include <cstdint>

extern "C" {
typedef int (*xdf_build_primary_fn)(uint32_t *entry, uint32_t *keys, uint32_t *mask,
                                    uint32_t *mask_keys, int file_index, int mode);
typedef int (*xdf_build_info_fn)(uint32_t *info, uint32_t *values, int file_index, int mode);
typedef int (*xdf_record_filter_fn)(int handle);
typedef void (*xdf_package_init_fn)(void);
}

namespace zep::xdf {

struct StdHooks {
  xdf_build_primary_fn build_primary = nullptr;
  xdf_build_info_fn build_info = nullptr;
  xdf_record_filter_fn record_filter = nullptr;
  xdf_package_init_fn package_init = nullptr;
};

// Replaces the registered hooks. Cheap; may be called before every open.
void register_std_hooks(const StdHooks &hooks);

// The hooks as registered (all null until the standard-file layer registers).
const StdHooks &std_hooks();

}  // namespace zep::xdf
