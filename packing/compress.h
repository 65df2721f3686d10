// Lossless compression of a grid of ni x nj unsigned 16-bit values (i the
// fast index), below 2^nbits with nbits at most 16.
//
// Stream: word 0 is the method header, then a bit stream from the most
// significant bit of word 1 on, ended by 32 zero bits; only full words are
// counted. Header word 0:
//   bits 0-3 method type (3 minimum, 1 sample), bits 4-6 spare (0, 3),
//   bits 7-9 step (5, 3), bits 10-14 nbits, bits 15-17 method code (1, 3).
//
// Minimum method: 5 x 5 blocks from point (1, 1), rows of blocks outermost,
// cut at the grid edges; per block a 4-bit width w = bit length of
// (max - min), 16 written as 15; w 0: the minimum in nbits bits; w 15: every
// value in 16 bits; otherwise the minimum in nbits bits and every value less
// the minimum in w bits, values row by row.
//
// Sample method: a pyramid of four levels, each the grid of every third
// point of the finer one (plus its last row and column); the coarsest level
// is stored in nbits bits per value, each finer level as the residuals of a
// cubic prediction from the coarser one, in 3 x 3 blocks of signed tokens
// (see compress_sample.cpp).
//
// The bounded entries below check every length read from a stream before
// use and never read or write outside the sizes they are given; the C
// entries of include/zep/compress.h forward to them.
//
// In a record, data[0] holds the number of data words, itself included
// (2 * (((c + 16) * 8 + 63) / 64) for packed reals, 2 * (((c + 12 + 16) * 8
// + 63) / 64) for the float packer, c the compressed length in bytes plus
// one). A reader of a compressed float-packer record with D data words in a
// buffer of R words from data[0] calls
//   expand_packed(data + 4, D - 4, R - 4, ni, nj)
// and then float_unpack(data + 1, data + 4, (n + 1) / 2, n, ...); a
// compressed packed-real record has its 4-word header at data[1] and its
// stream at data[5]. Only ni * nj values are compressed, whatever nk is;
// grids one point wide are stored uncompressed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "packing/pack_status.h"

namespace zep::packing {

constexpr int kMinimumType = 3;
constexpr int kMinimumSpare = 0;
constexpr int kMinimumStep = 5;
constexpr int kMinimumCode = 1;
constexpr int kSampleType = 1;
constexpr int kSampleSpare = 3;
constexpr int kSampleStep = 3;
constexpr int kSampleCode = 3;

// Grids of at least this many points a side try the sample method too.
constexpr int kSampleMinimumSide = 82;

struct ZipHeader {
  int type = 0;
  int spare = 0;
  int step = 0;
  int nbits = 0;
  int code = 0;

  uint32_t encode() const;
  static ZipHeader decode(uint32_t word);
  static ZipHeader minimum(int nbits);
  static ZipHeader sample(int nbits);
};

// Upper bound of the words (header included) that compressing an ni x nj
// grid with the method of `type` writes; 0 for an unknown type or a bad grid.
size_t zip_max_words(int ni, int nj, int type);

// The length the C entries report for a stream of `words` words (header
// included): its length in bytes plus one.
inline int64_t zip_length_code(size_t words) { return static_cast<int64_t>(words) * 4 + 1; }

// Compresses values[0 .. ni*nj - 1] with the method of `type` (kMinimumType
// or kSampleType) into stream[0 .. stream_room - 1], header included, and
// stores the words written in *words_out. Refuses (writing nothing) a bad
// grid, nbits above 16, an unknown type, and a stream_room below
// zip_max_words(ni, nj, type).
// REQUIRES: every value is below 2^nbits (higher bits are lost).
PackStatus vktzip(const uint16_t *values, int ni, int nj, int type, int nbits, uint32_t *stream,
                  size_t stream_room, size_t *words_out);

// Expands the stream (stream_words words, header included) into
// values[0 .. ni*nj - 1]. Refuses an unknown method, a step other than the
// writer's, nbits above 16, token widths no writer produces, a stream that
// ends early, and value_room below ni*nj. On refusal `values` may hold a
// partial result.
PackStatus vktunzip(const uint32_t *stream, size_t stream_words, int ni, int nj, uint16_t *values,
                    size_t value_room);

// The methods, after the header word. The coders append (or consume) the
// tokens of one method; c_vktzip_* add the 32 trailing zero bits.
PackStatus c_vktzip_minimum(const uint16_t *values, int ni, int nj, int nbits, BitWriter &out);
PackStatus c_vktunzip_minimum(BitReader &in, int ni, int nj, int nbits, uint16_t *values);
PackStatus c_vktzip_sample(const uint16_t *values, int ni, int nj, int nbits, BitWriter &out);
PackStatus c_vktunzip_sample(BitReader &in, int ni, int nj, int nbits, uint16_t *values);

// Blocks of the minimum method.
void pack_tokens_minimum(const uint16_t *values, int ni, int nj, int nbits, BitWriter &out);
PackStatus unpack_tokens_minimum(BitReader &in, int ni, int nj, int nbits, uint16_t *values);
// Residual blocks of one level of the sample method (ni x nj residuals).
void pack_tokens_sample(const int32_t *residuals, int ni, int nj, BitWriter &out);
PackStatus unpack_tokens_sample(BitReader &in, int ni, int nj, int32_t *residuals);

// The sample method's arithmetic, exposed for tests: the cubic through
// y0..y3 placed at -3, 0, 3 and 6, at offset d, rounded; and the rounding
// (0.5001 added with the sign of v in extended precision, cut toward zero).
int32_t sample_cubic(int64_t y0, int64_t y1, int64_t y2, int64_t y3, int64_t d);
int32_t sample_round(double v);

// The process-wide compression level: -1 undecided, 0 minimum method only,
// 1 the sample method too.
int &compress_level();
// Decides the level from the environment when it is still undecided.
int decided_compress_level();

// In-place compression of the record data area: data[0 .. (N+1)/2 - 1] hold
// the N = ni*nj values two per word (the earlier in bits 31-16). Chooses the
// method by `level` as the C entry does (both on grids of at least 82 x 82
// when level is not 0, the shorter kept, the sample one on a tie), and
// copies the stream over data when it fits in data_room words; else returns
// kShortOutput and leaves data unchanged. *stream_words receives the stream
// length in words (also on kShortOutput).
PackStatus compress_packed(uint32_t *data, size_t data_room, int ni, int nj, int nbits, int level,
                           size_t *stream_words);

// In-place expansion: data[0 .. stream_words - 1] hold a stream; the
// (N+1)/2 words of values, two per word as above, are written over it when
// data_room allows (else kShortOutput, data unchanged).
PackStatus expand_packed(uint32_t *data, size_t stream_words, size_t data_room, int ni, int nj);

}  // namespace zep::packing
