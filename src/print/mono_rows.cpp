#include "print/mono_rows.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <bit>
#include <cstring>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
#define MK_WIDE_ROWS 1
#endif

namespace mk {
namespace {

static_assert(std::endian::native == std::endian::little, "pixels are read as little-endian words");

// ---- Plain loops, written so that compilers make vector code of them ----

inline uint32_t luminance(uint32_t pixel) {
    const uint32_t blue = pixel & 0xFF, green = (pixel >> 8) & 0xFF, red = (pixel >> 16) & 0xFF;
    return (38 * red + 75 * green + 15 * blue) >> 7;
}

// Rows are summed in pieces small enough for a 32-bit sum (255 × 2^16 fits).
constexpr size_t kSumPiece = size_t{1} << 16;

uint64_t plainLuminanceSum(const uint8_t* row, size_t width) {
    uint64_t sum = 0;
    for (size_t start = 0; start < width; start += kSumPiece) {
        const size_t end = std::min(width, start + kSumPiece);
        uint32_t piece = 0;
        for (size_t x = start; x < end; ++x) {
            uint32_t pixel;
            std::memcpy(&pixel, row + 4 * x, 4);
            piece += luminance(pixel);
        }
        sum += piece;
    }
    return sum;
}

// Eight flags (0 or 1, the leftmost first in memory) to one byte with the
// leftmost in the high bit: the multiplication moves flag k to bit 63 - k
// without carries, since no two flags meet on one bit.
inline uint8_t packFlags(const uint8_t* flags) {
    uint64_t eight;
    std::memcpy(&eight, flags, 8);
    return static_cast<uint8_t>((eight * 0x8040201008040201ull) >> 56);
}

// Pixels are taken a chunk at a time: flags first, then packed.
constexpr size_t kChunk = 256;

void plainThresholdRow(const uint8_t* row, size_t width, uint32_t threshold, uint8_t* out, size_t bytesPerLine) {
    uint8_t flags[kChunk];
    size_t written = 0;
    for (size_t start = 0; start < width; start += kChunk) {
        const size_t count = std::min(kChunk, width - start);
        const uint8_t* pixels = row + 4 * start;
        for (size_t x = 0; x < count; ++x) {
            uint32_t pixel;
            std::memcpy(&pixel, pixels + 4 * x, 4);
            flags[x] = luminance(pixel) >= threshold ? 1 : 0;
        }
        const size_t bytes = (count + 7) / 8;
        std::fill(flags + count, flags + bytes * 8, uint8_t{0});
        for (size_t i = 0; i < bytes; ++i) out[written + i] = packFlags(flags + 8 * i);
        written += bytes;
    }
    std::fill(out + written, out + bytesPerLine, uint8_t{0});
}

// ---- Wide vectors: eight pixels per instruction ----------------------

#ifdef MK_WIDE_ROWS

// Per pixel the byte weights blue 15, green 75, red 38, unused 0: one
// multiply-add gives 15 × blue + 75 × green and 38 × red in 16 bits (at
// most 22950, so nothing saturates), a second adds the two in 32 bits.
__attribute__((target("avx2"))) inline __m256i wideLuminance(const uint8_t* pixels) {
    const __m256i weights = _mm256_set1_epi32(0x00264B0F);
    const __m256i ones = _mm256_set1_epi16(1);
    const __m256i eight = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(pixels));
    return _mm256_srli_epi32(_mm256_madd_epi16(_mm256_maddubs_epi16(eight, weights), ones), 7);
}

__attribute__((target("avx2"))) uint64_t wideLuminanceSum(const uint8_t* row, size_t width) {
    const size_t whole = width / 8 * 8;
    uint64_t sum = 0;
    // Each lane adds at most 255 per step: 2^16 steps fit its 32 bits.
    for (size_t start = 0; start < whole; start += 8 * kSumPiece) {
        const size_t end = std::min(whole, start + 8 * kSumPiece);
        __m256i lanes = _mm256_setzero_si256();
        for (size_t x = start; x < end; x += 8) lanes = _mm256_add_epi32(lanes, wideLuminance(row + 4 * x));
        alignas(32) uint32_t parts[8];
        _mm256_store_si256(reinterpret_cast<__m256i*>(parts), lanes);
        for (uint32_t part : parts) sum += part;
    }
    return sum + plainLuminanceSum(row + 4 * whole, width - whole);
}

// Bit k of a movemask is pixel k; the graphic wants pixel 0 in the high bit.
constexpr std::array<uint8_t, 256> kReversedBits = [] {
    std::array<uint8_t, 256> table{};
    for (unsigned v = 0; v < 256; ++v) {
        unsigned r = 0;
        for (unsigned bit = 0; bit < 8; ++bit) r |= ((v >> bit) & 1u) << (7 - bit);
        table[v] = static_cast<uint8_t>(r);
    }
    return table;
}();

__attribute__((target("avx2"))) void wideThresholdRow(const uint8_t* row, size_t width, uint32_t threshold,
                                                      uint8_t* out, size_t bytesPerLine) {
    // Luminance is at most 255, so comparing with threshold - 1 as signed
    // numbers is exact for every threshold from 0 up.
    const __m256i below = _mm256_set1_epi32(static_cast<int>(threshold) - 1);
    const size_t whole = width / 8;
    for (size_t i = 0; i < whole; ++i) {
        const __m256i light = _mm256_cmpgt_epi32(wideLuminance(row + 32 * i), below);
        out[i] = kReversedBits[static_cast<unsigned>(_mm256_movemask_ps(_mm256_castsi256_ps(light)))];
    }
    plainThresholdRow(row + 32 * whole, width - 8 * whole, threshold, out + whole, bytesPerLine - whole);
}

// Asked once, when the library is loaded (the processor's features must be
// read first at that time).
const bool kProcessorHasWideRows = (__builtin_cpu_init(), __builtin_cpu_supports("avx2"));

bool processorHasWideRows() { return kProcessorHasWideRows; }

#endif

std::atomic<RowCode> chosenCode{RowCode::Widest};

bool wideRows() {
#ifdef MK_WIDE_ROWS
    return chosenCode.load(std::memory_order_relaxed) == RowCode::Widest && processorHasWideRows();
#else
    return false;
#endif
}

}  // namespace

uint64_t rowLuminanceSum(const uint8_t* row, size_t width) {
#ifdef MK_WIDE_ROWS
    if (wideRows()) return wideLuminanceSum(row, width);
#endif
    return plainLuminanceSum(row, width);
}

void thresholdRow(const uint8_t* row, size_t width, uint32_t threshold, uint8_t* out, size_t bytesPerLine) {
#ifdef MK_WIDE_ROWS
    if (wideRows()) return wideThresholdRow(row, width, threshold, out, bytesPerLine);
#endif
    plainThresholdRow(row, width, threshold, out, bytesPerLine);
}

void useRowCode(RowCode code) { chosenCode.store(code, std::memory_order_relaxed); }

}  // namespace mk
