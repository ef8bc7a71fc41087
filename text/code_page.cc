#include "text/code_page.h"

#include <unicode/normalizer2.h>
#include <unicode/uchar.h>
#include <unicode/ucnv.h>
#include <unicode/utf16.h>

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace trawler {
namespace {

// ---------------------------------------------------------------------------------------
// ICU converters, cached per thread.
//
// Opening a converter costs far more than a short conversion, and a UConverter carries
// state, so it must not be shared between threads. Each thread therefore opens the two it
// needs once and keeps them until it ends. Every use resets the converter first, so no state
// from an earlier (possibly failed) call leaks into the next one.

struct ConverterCloser {
  void operator()(UConverter* converter) const { ucnv_close(converter); }
};
using ConverterPtr = std::unique_ptr<UConverter, ConverterCloser>;

enum class Codec { kGbk, kUtf8 };

ConverterPtr OpenConverter(Codec codec) {
  UErrorCode error = U_ZERO_ERROR;
  ConverterPtr converter(ucnv_open(codec == Codec::kGbk ? "windows-936-2000" : "UTF-8", &error));
  if (U_FAILURE(error)) return nullptr;
  // A character outside GBK becomes "?", never a best-fit look-alike. Malformed input
  // decodes to U+FFFD (ICU's substitution callbacks are the default in both directions).
  ucnv_setFallback(converter.get(), false);
  if (codec == Codec::kGbk) {
    ucnv_setSubstChars(converter.get(), "?", 1, &error);
    if (U_FAILURE(error)) return nullptr;
  }
  return converter;
}

// The calling thread's converter for `codec`, reset; nullptr when ICU cannot open it.
UConverter* CachedConverter(Codec codec) {
  thread_local ConverterPtr gbk;
  thread_local ConverterPtr utf8;
  ConverterPtr& slot = codec == Codec::kGbk ? gbk : utf8;
  if (!slot) slot = OpenConverter(codec);
  if (slot) ucnv_reset(slot.get());
  return slot.get();
}

// Which codec a Windows code-page number names; false for a code page this program lacks.
bool CodecOf(int codePage, Codec* codec) {
  if (codePage == kCodePageSystem || codePage == kCodePageGbk) {
    *codec = Codec::kGbk;
    return true;
  }
  if (codePage == kCodePageUtf8) {
    *codec = Codec::kUtf8;
    return true;
  }
  return false;
}

// Converts all of `source` with `step` (ucnv_toUnicode or ucnv_fromUnicode) and writes it
// into `out` from index `used` on, growing `out` when it lacks room. Returns the new number
// of used units, or what was written before ICU failed. Conversions are flushed: a sequence
// cut off at the end converts to its substitute.
template <typename Source, typename Out, typename Step>
std::size_t ConvertInto(UConverter* converter, Source source, Out& out, std::size_t used,
                        Step step) {
  const auto* from = source.data();
  const auto* const fromEnd = from + source.size();
  while (true) {
    auto* to = out.data() + used;
    UErrorCode error = U_ZERO_ERROR;
    step(converter, &to, out.data() + out.size(), &from, fromEnd, nullptr, true, &error);
    used = static_cast<std::size_t>(to - out.data());
    if (error == U_BUFFER_OVERFLOW_ERROR) {
      out.resize(out.size() + std::max<std::size_t>(16, out.size() / 2));
      continue;
    }
    if (U_FAILURE(error)) ucnv_reset(converter);
    return used;
  }
}

std::size_t DecodeInto(UConverter* converter, std::string_view source, std::u16string& out,
                       std::size_t used) {
  return ConvertInto(converter, source, out, used, ucnv_toUnicode);
}

std::size_t EncodeInto(UConverter* converter, std::u16string_view source, std::string& out,
                       std::size_t used) {
  return ConvertInto(converter, source, out, used, ucnv_fromUnicode);
}

// The whole decoding of `source` in `codec`.
std::u16string Decode(Codec codec, std::string_view source) {
  std::u16string out;
  UConverter* converter = CachedConverter(codec);
  if (converter == nullptr || source.empty()) return out;
  // One unit per byte covers both codecs: GBK and UTF-8 never give more units than bytes,
  // malformed bytes included (at most one U+FFFD per byte).
  out.resize(source.size());
  out.resize(DecodeInto(converter, source, out, 0));
  return out;
}

// The whole encoding of `source` in `codec`.
std::string Encode(Codec codec, std::u16string_view source) {
  std::string out;
  UConverter* converter = CachedConverter(codec);
  if (converter == nullptr || source.empty()) return out;
  out.resize(source.size() * (codec == Codec::kUtf8 ? 3 : 2));
  out.resize(EncodeInto(converter, source, out, 0));
  return out;
}

// ---------------------------------------------------------------------------------------
// The composite check on the way to GBK: a base character followed by a combining mark
// becomes the precomposed character where Unicode has one (e + U+0301 -> U+00E9, which GBK
// holds as A8 A6). Only such pairs are composed, repeatedly for stacked marks (u + U+0308 +
// U+0301 -> U+01D8); full NFC is not run, because it would also rewrite singletons such as
// U+212B that GBK text should keep as they are.

const icu::Normalizer2* Nfc() {
  static const icu::Normalizer2* const nfc = [] {
    UErrorCode error = U_ZERO_ERROR;
    const icu::Normalizer2* instance = icu::Normalizer2::getNFCInstance(error);
    return U_SUCCESS(error) ? instance : nullptr;
  }();
  return nfc;
}

bool IsCombiningMark(UChar32 c) {
  // No mark lies below U+0300 or among the CJK ideographs (U+3400-U+9FFF): these tests keep
  // the common characters of a page off ICU.
  if (c < 0x300 || (c >= 0x3400 && c < 0xA000)) return false;
  return (U_GET_GC_MASK(c) & U_GC_M_MASK) != 0;
}

// Composes base + mark pairs of `units[0, length)` in place; returns the new length.
std::size_t ComposePairs(char16_t* units, std::size_t length) {
  const icu::Normalizer2* nfc = Nfc();
  if (nfc == nullptr) return length;
  std::size_t read = 0;
  std::size_t write = 0;
  std::size_t lastStart = 0;  // where the last written code point begins
  UChar32 last = -1;          // the last written code point, -1 before the first
  while (read < length) {
    UChar32 c;
    U16_NEXT(units, read, length, c);
    if (last >= 0 && IsCombiningMark(c)) {
      const UChar32 composite = nfc->composePair(last, c);
      if (composite >= 0) {
        // A composite never needs more units than the pair it replaces.
        write = lastStart;
        U16_APPEND_UNSAFE(units, write, composite);
        last = composite;
        continue;
      }
    }
    lastStart = write;
    U16_APPEND_UNSAFE(units, write, c);
    last = c;
  }
  return write;
}

// Encodes UTF-16 to GBK with the composite check; the text ends before the first U+0000.
Text WideToGbk(std::u16string_view wide) {
  wide = wide.substr(0, wide.find(u'\0'));
  std::u16string composed(wide);
  composed.resize(ComposePairs(composed.data(), composed.size()));
  return Encode(Codec::kGbk, composed);
}

// The UTF-16 code units of a wide buffer (UTF-16LE bytes); a final odd byte is dropped.
std::u16string UnitsOf(std::string_view wide) {
  std::u16string units(wide.size() / 2, u'\0');
  for (std::size_t i = 0; i < units.size(); ++i) {
    units[i] = static_cast<char16_t>(static_cast<unsigned char>(wide[2 * i]) |
                                     static_cast<unsigned char>(wide[2 * i + 1]) << 8);
  }
  return units;
}

// A wide buffer (UTF-16LE bytes) of `units`, with `totalUnits` units in all; the units
// beyond `units` are zero.
Bytes WideBytesOf(std::u16string_view units, std::size_t totalUnits) {
  Bytes bytes(2 * totalUnits, '\0');
  for (std::size_t i = 0; i < units.size() && i < totalUnits; ++i) {
    bytes[2 * i] = static_cast<char>(units[i] & 0xFF);
    bytes[2 * i + 1] = static_cast<char>(units[i] >> 8);
  }
  return bytes;
}

// ---------------------------------------------------------------------------------------
// ASCII fast path. Response pages are mostly ASCII, which is the same byte in UTF-8, in GBK
// and (widened) in UTF-16, so runs of it are copied directly and only the stretches around
// other bytes go through ICU. Splitting there never changes the result:
// - UTF-8: a byte below 0x80 is never part of a multi-byte sequence, so a malformed
//   sequence before it decodes the same whether or not the input ends there.
// - UTF-16: an ASCII unit is never half of a surrogate pair; a lone surrogate at the end of
//   a stretch becomes "?" as it would before the ASCII unit that follows it.
// - GBK: a stretch takes a lead byte together with the byte after it, whatever that byte
//   is, so a stretch never ends between a lead byte and its trail (a trail may be ASCII).
// - The composite check: a combining mark can compose with the ASCII letter just before it,
//   so that letter goes into the stretch as well. No ASCII character is a mark, so nothing
//   composes across the end of a stretch.
// Short ASCII gaps between two stretches are handed to ICU with them: a call into ICU costs
// more than converting a few ASCII bytes there.
constexpr std::size_t kShortAsciiGap = 16;

// The index of the first unit >= 0x80 at or after `from`, or `text.size()`. Bytes are
// tested eight at a time, UTF-16 units four at a time.
template <typename Char>
std::size_t AsciiRunEnd(std::basic_string_view<Char> text, std::size_t from) {
  static_assert(sizeof(Char) == 1 || sizeof(Char) == 2);
  constexpr std::uint64_t kNonAscii =
      sizeof(Char) == 1 ? 0x8080808080808080ULL : 0xFF80FF80FF80FF80ULL;
  constexpr std::size_t kPerWord = 8 / sizeof(Char);
  const Char* units = text.data();
  const std::size_t size = text.size();
  std::size_t i = from;
  while (i + kPerWord <= size) {
    std::uint64_t word;
    std::memcpy(&word, units + i, 8);
    if ((word & kNonAscii) != 0) break;
    i += kPerWord;
  }
  while (i < size && static_cast<std::make_unsigned_t<Char>>(units[i]) < 0x80) ++i;
  return i;
}

// The end of the stretch of non-ASCII text that begins at `from` (a unit >= 0x80): the
// index of the first ASCII unit that starts a character and is followed by more than a
// short ASCII gap, or `text.size()`. With `pairs` (GBK), a lead byte takes the byte after it.
template <typename Char>
std::size_t StretchEnd(std::basic_string_view<Char> text, std::size_t from, bool pairs) {
  const std::size_t size = text.size();
  std::size_t i = from;
  while (i < size) {
    const auto unit = static_cast<std::make_unsigned_t<Char>>(text[i]);
    if (unit >= 0x80) {
      // A GBK lead byte takes the next byte with it, whatever it is.
      i += (pairs && unit >= 0x81 && unit <= 0xFE && i + 1 < size) ? 2 : 1;
      continue;
    }
    const std::size_t asciiEnd = AsciiRunEnd(text, i);
    if (asciiEnd == size || asciiEnd - i > kShortAsciiGap) return i;
    i = asciiEnd;
  }
  return size;
}

// ---------------------------------------------------------------------------------------
// Table fast path for the characters between ASCII runs. ICU converts character by
// character through several layers of calls, and a result page holds thousands of short
// stretches of Chinese text; each is converted twice on its way into the regex engine and
// its names a third time on the way out. So each thread asks ICU only once per process: two
// tables, filled from ICU's own converters on first use, give each BMP character's GBK bytes
// and each GBK pair's character. A stretch that holds anything the tables do not cover (a
// combining mark, a surrogate, a four-byte or malformed UTF-8 sequence, a GBK byte that is
// not the lead of a mapped pair) goes through ICU as before, so the result never differs.

// The toGbk value of a character that the tables do not convert: a combining mark (which
// sends its stretch to ICU for composing) and a surrogate. No character above ASCII has the
// GBK form 0x01, so the value is free.
constexpr std::uint16_t kViaIcu = 1;

struct GbkTables {
  // BMP code point -> its GBK form: a pair as lead << 8 | trail, a single byte as itself
  // ("?" for a character outside GBK); 0 for no bytes at all (ICU drops a default-ignorable
  // character that GBK lacks, such as U+200B, rather than writing "?"); kViaIcu for a
  // combining mark (IsCombiningMark) or a surrogate.
  std::vector<std::uint16_t> toGbk = std::vector<std::uint16_t>(0x10000, 0);
  // (lead - 0x81) << 8 | trail -> the character of that GBK pair; 0 when the pair is not
  // one mapped character.
  std::vector<char16_t> fromGbk = std::vector<char16_t>(0x7E << 8, 0);
  bool ready = false;
};

GbkTables BuildGbkTables() {
  GbkTables tables;
  const ConverterPtr converter = OpenConverter(Codec::kGbk);
  if (!converter) return tables;

  // Every BMP character but the surrogates, encoded in one call; `offsets` tells which
  // character each output byte came from.
  std::u16string characters;
  for (std::uint32_t c = 1; c < 0x10000; ++c) {
    if (c < 0xD800 || c > 0xDFFF) characters += static_cast<char16_t>(c);
  }
  std::string bytes(characters.size() * 2, '\0');
  std::vector<std::int32_t> offsets(bytes.size(), -1);
  {
    const UChar* from = characters.data();
    char* to = bytes.data();
    UErrorCode error = U_ZERO_ERROR;
    ucnv_fromUnicode(converter.get(), &to, bytes.data() + bytes.size(), &from,
                     characters.data() + characters.size(), offsets.data(), true, &error);
    if (U_FAILURE(error)) return tables;
    const auto written = static_cast<std::size_t>(to - bytes.data());
    for (std::size_t i = 0; i < written; ++i) {
      if (offsets[i] < 0) return tables;
      const char16_t c = characters[static_cast<std::size_t>(offsets[i])];
      const auto b = static_cast<unsigned char>(bytes[i]);
      const bool second = i > 0 && offsets[i - 1] == offsets[i];
      tables.toGbk[c] = second ? static_cast<std::uint16_t>(tables.toGbk[c] << 8 | b) : b;
    }
  }
  for (std::uint32_t c = 0x80; c < 0x10000; ++c) {
    if (tables.toGbk[c] == kViaIcu) return tables;  // the sentinel would be ambiguous
    if (IsCombiningMark(static_cast<UChar32>(c)) || (c >= 0xD800 && c <= 0xDFFF)) {
      tables.toGbk[c] = kViaIcu;
    }
  }

  // Every pair of a lead byte and a trail byte, each pair followed by a line feed so that a
  // pair that is not one character cannot pull the next pair out of step.
  ucnv_reset(converter.get());
  std::string pairs;
  for (int lead = 0x81; lead <= 0xFE; ++lead) {
    for (int trail = 0x40; trail <= 0xFE; ++trail) {
      pairs += static_cast<char>(lead);
      pairs += static_cast<char>(trail);
      pairs += '\n';
    }
  }
  std::u16string units(pairs.size(), u'\0');
  std::vector<std::int32_t> unitOffsets(units.size(), -1);
  const char* from = pairs.data();
  UChar* to = units.data();
  UErrorCode error = U_ZERO_ERROR;
  ucnv_toUnicode(converter.get(), &to, units.data() + units.size(), &from,
                 pairs.data() + pairs.size(), unitOffsets.data(), true, &error);
  if (U_FAILURE(error)) return tables;
  const auto written = static_cast<std::size_t>(to - units.data());
  // A pair is one character when exactly one unit comes from its lead byte, none from its
  // trail byte, and that unit is neither U+FFFD nor half of a surrogate pair.
  std::vector<int> fromLead(pairs.size(), 0);
  std::vector<bool> fromTrail(pairs.size(), false);
  for (std::size_t i = 0; i < written; ++i) {
    const auto at = static_cast<std::size_t>(unitOffsets[i]);
    if (unitOffsets[i] < 0 || at >= pairs.size()) return tables;
    if (at % 3 == 0) ++fromLead[at];
    if (at % 3 == 1) fromTrail[at] = true;
  }
  for (std::size_t i = 0; i < written; ++i) {
    const auto at = static_cast<std::size_t>(unitOffsets[i]);
    const char16_t unit = units[i];
    if (at % 3 != 0 || fromLead[at] != 1 || fromTrail[at + 1] || unit == 0xFFFD ||
        (unit >= 0xD800 && unit <= 0xDFFF)) {
      continue;
    }
    const auto lead = static_cast<unsigned char>(pairs[at]);
    const auto trail = static_cast<unsigned char>(pairs[at + 1]);
    tables.fromGbk[static_cast<std::size_t>(lead - 0x81) << 8 | trail] = unit;
  }
  tables.ready = true;
  return tables;
}

// The tables, filled on first use (thread-safe static initialisation); nullptr when ICU
// could not fill them, and every stretch then goes through ICU.
const GbkTables* Tables() {
  static const GbkTables tables = BuildGbkTables();
  return tables.ready ? &tables : nullptr;
}

// The number of bytes of `gbk` (a toGbk value other than kViaIcu): what PutGbk writes.
constexpr std::size_t GbkLength(std::uint16_t gbk) { return gbk > 0xFF ? 2 : gbk != 0 ? 1 : 0; }

// Writes `gbk` (a toGbk value other than kViaIcu) at `to`; returns the end of what it wrote.
char* PutGbk(char* to, std::uint16_t gbk) {
  if (gbk > 0xFF) *to++ = static_cast<char>(gbk >> 8);
  if (gbk != 0) *to++ = static_cast<char>(gbk & 0xFF);
  return to;
}

// Copies the ASCII bytes at the start of `s[0, n)` to `narrow` and, widened, to `wide`
// (each when not null) and returns how many there were; with `kStopAtNul` a zero byte ends
// them too. Only whole blocks of 16 bytes are taken (8 without SSE2); a block that holds
// another byte is written whole but counted up to that byte, so both outputs need room for
// `n` units. What is left is for the caller.
template <bool kNarrow, bool kWide, bool kStopAtNul = false>
inline std::size_t CopyAsciiBlocks(const unsigned char* s, std::size_t n, char* narrow,
                                   char16_t* wide) {
  std::size_t i = 0;
#if defined(__SSE2__)
  const __m128i zero = _mm_setzero_si128();
  while (i + 16 <= n) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i));
    if constexpr (kNarrow) _mm_storeu_si128(reinterpret_cast<__m128i*>(narrow + i), v);
    if constexpr (kWide) {
      _mm_storeu_si128(reinterpret_cast<__m128i*>(wide + i), _mm_unpacklo_epi8(v, zero));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(wide + i + 8), _mm_unpackhi_epi8(v, zero));
    }
    auto stop = static_cast<unsigned>(_mm_movemask_epi8(v));
    if constexpr (kStopAtNul)
      stop |= static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, zero)));
    if (stop != 0) return i + static_cast<std::size_t>(std::countr_zero(stop));
    i += 16;
  }
#else
  while (i + 8 <= n) {
    std::uint64_t word;
    std::memcpy(&word, s + i, 8);
    if ((word & 0x8080808080808080ULL) != 0) break;
    // A zero byte in the word (the classic test: a byte that borrows when one is taken).
    if (kStopAtNul && ((word - 0x0101010101010101ULL) & ~word & 0x8080808080808080ULL) != 0) break;
    if constexpr (kNarrow) std::memcpy(narrow + i, s + i, 8);
    if constexpr (kWide) {
      for (int k = 0; k < 8; ++k) wide[i + k] = s[i + k];
    }
    i += 8;
  }
#endif
  return i;
}

// Narrows the units at the start of `s[0, n)` that are ASCII but not U+0000 into `out`,
// eight at a time (whole blocks only, as CopyAsciiBlocks), and returns how many it took.
inline std::size_t NarrowAsciiBlocks(const char16_t* s, std::size_t n, char* out) {
  std::size_t i = 0;
#if defined(__SSE2__)
  const __m128i zero = _mm_setzero_si128();
  const __m128i nonAscii = _mm_set1_epi16(static_cast<short>(0xFF80));
  while (i + 8 <= n) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i));
    const __m128i ascii = _mm_cmpeq_epi16(_mm_and_si128(v, nonAscii), zero);
    const __m128i nul = _mm_cmpeq_epi16(v, zero);
    if (_mm_movemask_epi8(_mm_andnot_si128(nul, ascii)) != 0xFFFF) break;
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out + i), _mm_packus_epi16(v, v));
    i += 8;
  }
#else
  (void)s;
  (void)n;
  (void)out;
#endif
  return i;
}

// Decodes the UTF-8 character at `s[i]` (not ASCII) into `c` and returns its length, when
// it is a well-formed sequence of two or three bytes (a BMP character that is no
// surrogate); 0 for anything else (four bytes, malformed), which ICU then takes.
inline std::size_t DecodeUtf8Bmp(const unsigned char* s, std::size_t i, std::size_t n,
                                 char16_t& c) {
  const unsigned b = s[i];
  // Three bytes first: the Chinese text of a page. The lead's range and the trails' top
  // bits make it well formed but for an overlong form, ruled out by the smallest value.
  if ((b & 0xF0u) == 0xE0u && i + 2 < n) {
    const unsigned b1 = s[i + 1];
    const unsigned b2 = s[i + 2];
    const unsigned value = (b & 0x0Fu) << 12 | (b1 & 0x3Fu) << 6 | (b2 & 0x3Fu);
    if (((b1 & 0xC0u) == 0x80u) & ((b2 & 0xC0u) == 0x80u) & (value >= 0x800u) &
        (value - 0xD800u >= 0x800u)) {
      c = static_cast<char16_t>(value);
      return 3;
    }
    return 0;
  }
  if (b >= 0xC2 && b <= 0xDF && i + 1 < n && (s[i + 1] & 0xC0) == 0x80) {
    c = static_cast<char16_t>((b & 0x1Fu) << 6 | (s[i + 1] & 0x3Fu));
    return 2;
  }
  return 0;
}

}  // namespace

Text UrlEncode(std::string_view text, bool keepPlain, bool utf8First) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  const Text source = utf8First ? GbkToUtf8(text) : MakeText(text);
  Text result;
  result.reserve(source.size() * 3);
  for (const char ch : source) {
    const auto b = static_cast<unsigned char>(ch);
    const bool plain = b == '-' || b == '.' || (b >= '0' && b <= '9') || (b >= 'A' && b <= 'Z') ||
                       (b >= 'a' && b <= 'z');
    if (keepPlain && plain) {
      result += ch;
    } else {
      result += '%';
      result += kHex[b >> 4];
      result += kHex[b & 0x0F];
    }
  }
  return result;
}

Text GbkToUtf8(std::string_view text) {
  return UnicodeToAnsi(AnsiToUnicode(text, kCodePageGbk), kCodePageUtf8);
}

Bytes AnsiToUnicode(std::string_view text, int codePage) {
  Codec codec;
  const Text source = MakeText(text);
  if (source.empty() || !CodecOf(codePage, &codec)) return Bytes();
  // The buffer holds the text's units in the system code page plus a zero unit. Decoding
  // with another code page may need more units; the buffer then grows to hold them all,
  // rather than cutting the text short.
  const std::u16string system = Decode(Codec::kGbk, source);
  const std::size_t sizedUnits = system.size() + 1;
  if (codec == Codec::kGbk) return WideBytesOf(system, sizedUnits);
  const std::u16string units = Decode(codec, source);
  return WideBytesOf(units, std::max(sizedUnits, units.size() + 1));
}

Text UnicodeToAnsi(std::string_view wide, int codePage) {
  Codec codec;
  if (!CodecOf(codePage, &codec)) return Text();
  std::u16string units = UnitsOf(wide);
  units.resize(std::min(units.size(), units.find(u'\0')));
  // The result is the complete conversion. The text's size in the system code page, doubled,
  // would not hold the UTF-8 form of some GBK texts (the single byte 0x80 is the three
  // UTF-8 bytes of U+20AC), and a keyword cut short would search for something else.
  return MakeText(Encode(codec, units));
}

Text Utf8ToGbk(std::string_view data) {
  UConverter* utf8 = CachedConverter(Codec::kUtf8);
  UConverter* gbk = CachedConverter(Codec::kGbk);
  if (utf8 == nullptr || gbk == nullptr) return Text();
  const GbkTables* tables = Tables();

  // GBK never takes more bytes than UTF-8 for the same text (at most two bytes for a
  // character of two or more UTF-8 bytes, one "?" per malformed byte), so the result fits
  // in the input's size; EncodeInto grows it should that ever not hold.
  const auto* s = reinterpret_cast<const unsigned char*>(data.data());
  std::size_t n = data.size();
  Text out(n, '\0');
  std::size_t used = 0;
  // Everything from `inPlace` to `i` was converted in place (ASCII or through the table).
  // When ICU must take a stretch, it takes the last of those characters along (a mark may
  // compose with it); that character is found again by stepping back from `i`.
  std::size_t inPlace = 0;
  // A zero byte is always U+0000 in UTF-8, and the text ends there: the pass below stops at
  // it, and before ICU first takes a stretch the input is cut there (`cut`).
  bool cut = false;
  std::u16string wide;  // scratch for the stretches ICU takes
  std::size_t i = 0;
  while (i < n) {
    const std::size_t ascii = CopyAsciiBlocks<true, false, true>(
        s + i, std::min(n - i, out.size() - used), out.data() + used, nullptr);
    i += ascii;
    used += ascii;
    if (i == n) break;
    if (s[i] < 0x80) {
      if (s[i] == 0) break;
      out[used++] = static_cast<char>(s[i++]);
      continue;
    }
    // A run of other characters, one at a time, through the table.
    bool viaIcu = tables == nullptr;
    while (!viaIcu && i < n && s[i] >= 0x80) {
      char16_t c = 0;
      const std::size_t length = DecodeUtf8Bmp(s, i, n, c);
      const std::uint16_t form = tables->toGbk[c];
      if (length == 0 || form == kViaIcu) {
        viaIcu = true;
        break;
      }
      used = static_cast<std::size_t>(PutGbk(out.data() + used, form) - out.data());
      i += length;
    }
    if (!viaIcu) continue;
    if (!cut) {
      // Nothing before `i` is a zero byte, so the cut keeps all that was read.
      data = data.substr(0, std::min(data.size(), data.find('\0')));
      n = data.size();
      cut = true;
    }
    // ICU takes the stretch from the character before (the base a mark may compose with)
    // to the next long ASCII run; that character's bytes are taken back out of `out`.
    std::size_t from = i;
    if (i > inPlace) {
      from = i - 1;
      while (from > inPlace && (s[from] & 0xC0) == 0x80) --from;
      char16_t c = s[from];
      if (c >= 0x80) DecodeUtf8Bmp(s, from, n, c);
      used -= GbkLength(c < 0x80 ? c : tables->toGbk[c]);
    }
    const std::size_t end = StretchEnd(data, i, false);
    const std::string_view stretch = data.substr(from, end - from);
    if (wide.size() < stretch.size()) wide.resize(stretch.size());
    const std::size_t units = ComposePairs(wide.data(), DecodeInto(utf8, stretch, wide, 0));
    used = EncodeInto(gbk, std::u16string_view(wide.data(), units), out, used);
    i = end;
    inPlace = end;
  }
  out.resize(used);
  return out;
}

Bytes Utf8ToUnicode(std::string_view data) {
  const std::u16string units = Decode(Codec::kUtf8, data);
  return WideBytesOf(units, units.size());
}

Text UnicodeToGbk(std::string_view wide) { return WideToGbk(UnitsOf(wide)); }

std::u16string GbkToUtf16(std::string_view text) {
  UConverter* gbk = CachedConverter(Codec::kGbk);
  if (gbk == nullptr || text.empty()) return std::u16string();
  const GbkTables* tables = Tables();
  // One unit per byte at most (a pair gives one unit, anything malformed one U+FFFD a byte).
  const auto* s = reinterpret_cast<const unsigned char*>(text.data());
  const std::size_t n = text.size();
  std::u16string out(n, u'\0');
  std::size_t used = 0;
  std::size_t i = 0;
  while (i < n) {
    const std::size_t ascii = CopyAsciiBlocks<false, true>(
        s + i, std::min(n - i, out.size() - used), nullptr, out.data() + used);
    i += ascii;
    used += ascii;
    if (i == n) break;
    if (s[i] < 0x80) {
      out[used++] = s[i++];
      continue;
    }
    // A run of pairs, one at a time.
    while (tables != nullptr && i + 1 < n && s[i] >= 0x81 && s[i] <= 0xFE) {
      const char16_t c = tables->fromGbk[static_cast<std::size_t>(s[i] - 0x81) << 8 | s[i + 1]];
      if (c == 0) break;
      out[used++] = c;
      i += 2;
    }
    if (i == n || s[i] < 0x80) continue;
    // Anything else (a pair GBK does not map, a lone byte) goes to ICU up to the next long
    // ASCII run; a lead byte always takes the byte after it along.
    const std::size_t end = StretchEnd(text, i, true);
    used = DecodeInto(gbk, text.substr(i, end - i), out, used);
    i = end;
  }
  out.resize(used);
  return out;
}

Text Utf16ToGbk(std::u16string_view text) {
  // As Utf8ToGbk: ASCII as it stands, other characters through the tables, and ICU (with
  // composing) only for a stretch that holds a mark or a surrogate. The converter is fetched
  // only then: most texts handed back by the regex engine and the window are ASCII. The
  // text ends before its first U+0000, which the one pass below stops at.
  std::size_t n = text.size();
  Text out(2 * n, '\0');  // at most two GBK bytes per unit
  std::size_t used = 0;
  const GbkTables* tables = nullptr;
  // Everything from `inPlace` to `i` was converted in place, one unit per character; ICU
  // takes the last of those characters along with its stretch (a mark may compose with it).
  std::size_t inPlace = 0;
  bool cut = false;         // `text` already ends before its first U+0000
  std::u16string composed;  // scratch for the stretches ICU takes
  std::size_t i = 0;
  while (i < n) {
    const std::size_t ascii = NarrowAsciiBlocks(text.data() + i, n - i, out.data() + used);
    i += ascii;
    used += ascii;
    if (i == n) break;
    const char16_t c = text[i];
    if (c == 0) break;
    if (c < 0x80) {
      out[used++] = static_cast<char>(c);
      ++i;
      continue;
    }
    if (tables == nullptr) tables = Tables();
    const std::uint16_t form = tables != nullptr ? tables->toGbk[c] : kViaIcu;
    if (form != kViaIcu) {
      used = static_cast<std::size_t>(PutGbk(out.data() + used, form) - out.data());
      ++i;
      continue;
    }
    UConverter* gbk = CachedConverter(Codec::kGbk);
    if (gbk == nullptr) return Text();
    if (!cut) {
      // Nothing before `i` is U+0000, so the cut keeps all that was read.
      text = text.substr(0, std::min(text.size(), text.find(u'\0')));
      n = text.size();
      cut = true;
    }
    std::size_t from = i;
    if (i > inPlace) {
      // The character before, and its bytes taken back out of `out`.
      from = i - 1;
      const char16_t last = text[from];
      used -= GbkLength(last < 0x80 ? last : tables->toGbk[last]);
    }
    const std::size_t end = StretchEnd(text, i, false);
    composed.assign(text.substr(from, end - from));
    const std::size_t units = ComposePairs(composed.data(), composed.size());
    used = EncodeInto(gbk, std::u16string_view(composed.data(), units), out, used);
    i = end;
    inPlace = end;
  }
  out.resize(used);
  return out;
}

}  // namespace trawler
