// The bitmap pass: 64 bytes to a word, with AVX2 where the processor has it.
#include "mark_bitmap.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define VIDAZOZ_MARKS_X86 1
#endif

namespace vidazoz::wineprefix {
namespace {

using BuildWords = void (*)(const char* data, std::size_t words, char first, char second, std::uint64_t* out);

std::uint64_t PlainWord(const char* data, std::size_t size, char first, char second) {
  std::uint64_t bits = 0;
  for (std::size_t i = 0; i < size; ++i)
    if (data[i] == first || data[i] == second) bits |= std::uint64_t{1} << i;
  return bits;
}

void PlainWords(const char* data, std::size_t words, char first, char second, std::uint64_t* out) {
  for (std::size_t w = 0; w < words; ++w) out[w] = PlainWord(data + w * 64, 64, first, second);
}

#ifdef VIDAZOZ_MARKS_X86
__attribute__((target("sse2"))) void Sse2Words(const char* data, std::size_t words, char first, char second,
                                               std::uint64_t* out) {
  const __m128i a = _mm_set1_epi8(first), b = _mm_set1_epi8(second);
  for (std::size_t w = 0; w < words; ++w, data += 64) {
    std::uint64_t bits = 0;
    for (int part = 0; part < 4; ++part) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + part * 16));
      const auto hits = static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(v, a), _mm_cmpeq_epi8(v, b))));
      bits |= std::uint64_t{hits} << (part * 16);
    }
    out[w] = bits;
  }
}

__attribute__((target("avx2"))) void Avx2Words(const char* data, std::size_t words, char first, char second,
                                               std::uint64_t* out) {
  const __m256i a = _mm256_set1_epi8(first), b = _mm256_set1_epi8(second);
#pragma GCC unroll 2
  for (std::size_t w = 0; w < words; ++w, data += 64) {
    const __m256i low = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(data));
    const __m256i high = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(data + 32));
    const auto lowHits = static_cast<std::uint32_t>(
        _mm256_movemask_epi8(_mm256_or_si256(_mm256_cmpeq_epi8(low, a), _mm256_cmpeq_epi8(low, b))));
    const auto highHits = static_cast<std::uint32_t>(
        _mm256_movemask_epi8(_mm256_or_si256(_mm256_cmpeq_epi8(high, a), _mm256_cmpeq_epi8(high, b))));
    out[w] = std::uint64_t{highHits} << 32 | lowHits;
  }
}
#endif

}  // namespace

bool CanRunMarkPass(MarkPass pass) {
  switch (pass) {
    case MarkPass::kPlain: return true;
#ifdef VIDAZOZ_MARKS_X86
    case MarkPass::kSse2: return __builtin_cpu_supports("sse2");
    case MarkPass::kAvx2: return __builtin_cpu_supports("avx2");
#else
    case MarkPass::kSse2:
    case MarkPass::kAvx2: return false;
#endif
  }
  return false;
}

MarkPass FastestMarkPass() {
  // Asked once per process: the processor does not change under it.
  static const MarkPass fastest = CanRunMarkPass(MarkPass::kAvx2)   ? MarkPass::kAvx2
                                  : CanRunMarkPass(MarkPass::kSse2) ? MarkPass::kSse2
                                                                    : MarkPass::kPlain;
  return fastest;
}

void MarkBitmap::Build(const char* data, std::size_t size, MarkPass pass) {
  size_ = size;
  words_ = (size + 63) / 64;
  if (words_ > capacity_) {
    bits_ = std::make_unique_for_overwrite<std::uint64_t[]>(words_);
    capacity_ = words_;
  }
  const std::size_t whole = size / 64;
  BuildWords fill = PlainWords;
#ifdef VIDAZOZ_MARKS_X86
  if (pass == MarkPass::kAvx2 && CanRunMarkPass(pass)) fill = Avx2Words;
  if (pass == MarkPass::kSse2 && CanRunMarkPass(pass)) fill = Sse2Words;
#endif
  fill(data, whole, first_, second_, bits_.get());
  if (whole < words_) bits_[whole] = PlainWord(data + whole * 64, size % 64, first_, second_);
}

}  // namespace vidazoz::wineprefix
