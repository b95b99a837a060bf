#include "serialization/msgpack_reader.h"

#include <bit>
#include <cstdint>
#include <cstring>
#include <new>
#include <stdexcept>
#include <string_view>

#include "binding/nesting_limit.h"
#include "logging/format_message.h"

namespace tev {
namespace {

// Big-endian numbers of exact width: one load and a byte swap. A shift per byte would build
// every 64-bit number in a register pair on the 32-bit target, two or three instructions a byte.
template <typename Unsigned>
Unsigned loadBigEndian(const std::uint8_t* bytes) {
  Unsigned value;
  std::memcpy(&value, bytes, sizeof value);
  if constexpr (std::endian::native == std::endian::little) {
    if constexpr (sizeof value == 2) {
      value = __builtin_bswap16(value);
    } else if constexpr (sizeof value == 4) {
      value = __builtin_bswap32(value);
    } else {
      value = __builtin_bswap64(value);
    }
  }
  return value;
}

// The failures, out of line and off the hot path. Each names the position it is given.

[[gnu::cold, gnu::noinline]] void failTruncatedNumber(BindingResult& result, std::size_t bytes,
                                                      std::size_t position) {
  const char* text;
  switch (bytes) {
    case 1:
      text = "Invalid MessagePack data. 8-bit integer value at position %1 is truncated.";
      break;
    case 2:
      text = "Invalid MessagePack data. 16-bit integer value at position %1 is truncated.";
      break;
    case 4:
      text = "Invalid MessagePack data. 32-bit integer value at position %1 is truncated.";
      break;
    default:
      text = "Invalid MessagePack data. 64-bit integer value at position %1 is truncated.";
      break;
  }
  result.fail(formatMessage(text, std::uint64_t{position}));
}

[[gnu::cold, gnu::noinline]] void failTruncatedBody(BindingResult& result, std::uint32_t length,
                                                    bool isString, std::size_t position) {
  if (isString) {
    result.fail(
        formatMessage("Invalid MessagePack data. String of size %1 at position %2 is truncated.",
                      std::uint64_t{length}, std::uint64_t{position}));
  } else {
    result.fail(formatMessage(
        "Invalid MessagePack data. Raw bytes of size %1 at position %2 are truncated.",
        std::uint64_t{length}, std::uint64_t{position}));
  }
}

[[gnu::cold, gnu::noinline]] void failInvalid(BindingResult& result, std::size_t position) {
  result.fail(formatMessage("Invalid MessagePack data at position %1.", std::uint64_t{position}));
}

[[gnu::cold, gnu::noinline]] void failKeyNotString(BindingResult& result, std::size_t position) {
  result.fail(formatMessage("Invalid MessagePack data at position %1. Map keys must be strings.",
                            std::uint64_t{position}));
}

[[gnu::cold, gnu::noinline]] void failTooDeep(BindingResult& result, std::size_t position) {
  result.fail(
      formatMessage("Invalid MessagePack data at position %1. Nesting deeper than %2 levels.",
                    std::uint64_t{position}, kMaxNestingDepth));
}

// One open container and the entries it still expects (a structure's entry is a key and its
// value).
struct Frame {
  BindingProperty* value;
  std::uint32_t remaining;
  bool structure;
};

// Decodes one item into `result`'s value and returns the bytes consumed. The input position,
// the open containers and the value being filled are locals of this one function, so that they
// stay in registers around the calls that build the tree instead of being stored and reloaded
// around each of them: the 32-bit target has few registers to spare. Each round reads the item
// for `target`, then closes the containers it completes and makes the next target: an element
// appended to the innermost open collection, or the member named by the key read next. The
// input may end before any item; nothing is created for an item that is not there.
std::size_t decodeItems(BindingResult& result, const std::uint8_t* const begin,
                        const std::size_t size) {
  const std::uint8_t* const end = begin + size;
  const std::uint8_t* p = begin;
  // Collections reserve room only for as many elements as there are input bytes overall, so a
  // declared count can never make the decoder allocate beyond what the input could fill.
  std::size_t reserveBudget = size;
  Frame frames[kMaxNestingDepth];
  std::size_t depth = 0;
  try {
    BindingProperty* target = &result.value();
    target->reset();
    // The target is empty whenever an item is read into it: the root was reset, elements are
    // new, and a repeated key's member is reset below.
    while (p != end) {
      const std::uint8_t type = *p++;
      // A container header sets these for the opening below.
      bool container = false;
      std::uint32_t count = 0;
      bool structure = false;
      if (type <= 0x7F) {
        target->setSigned(type);
      } else if (type >= 0xE0) {
        target->setSigned(static_cast<std::int8_t>(type));
      } else if (type <= 0x9F) {
        if (depth == kMaxNestingDepth) {
          failTooDeep(result, static_cast<std::size_t>(p - begin));
          return static_cast<std::size_t>(p - begin);
        }
        container = true;
        count = type & 0x0Fu;
        structure = type <= 0x8F;
      } else if (type <= 0xBF) {
        const std::uint32_t length = type & 0x1Fu;
        if (length > static_cast<std::size_t>(end - p)) {
          failTruncatedBody(result, length, true, static_cast<std::size_t>(p - begin));
          return static_cast<std::size_t>(p - begin);
        }
        const std::string_view text(reinterpret_cast<const char*>(p), length);
        p += length;
        target->setString(text);
      } else {
        // Every remaining type has a fixed-size part after its type byte: a number, a length or
        // a count of 2^(type & 3) bytes for most, none for nil, false, true and the invalid ones.
        std::size_t width = 0;
        switch (type) {
          case 0xC0:  // nil: the target is empty already
          case 0xC2:
          case 0xC3:
            break;
          case 0xC4:
          case 0xC5:
          case 0xC6:
            width = std::size_t{1} << (type - 0xC4);
            break;
          case 0xCA:
            width = 4;
            break;
          case 0xCB:
            width = 8;
            break;
          case 0xCC:
          case 0xCD:
          case 0xCE:
          case 0xCF:
            width = std::size_t{1} << (type - 0xCC);
            break;
          case 0xD0:
          case 0xD1:
          case 0xD2:
          case 0xD3:
            width = std::size_t{1} << (type - 0xD0);
            break;
          case 0xD9:
          case 0xDA:
          case 0xDB:
            width = std::size_t{1} << (type - 0xD9);
            break;
          case 0xDC:
          case 0xDE:
          case 0xDD:
          case 0xDF:
            // The depth is checked before the count is read, so the message names the same
            // position for every container type.
            if (depth == kMaxNestingDepth) {
              failTooDeep(result, static_cast<std::size_t>(p - begin));
              return static_cast<std::size_t>(p - begin);
            }
            width = type == 0xDC || type == 0xDE ? 2 : 4;
            break;
          default:  // 0xC1, ext 8/16/32, fixext 1..16
            failInvalid(result, static_cast<std::size_t>(p - begin));
            return static_cast<std::size_t>(p - begin);
        }
        if (width > static_cast<std::size_t>(end - p)) {
          failTruncatedNumber(result, width, static_cast<std::size_t>(p - begin));
          return static_cast<std::size_t>(p - begin);
        }
        const std::uint8_t* const field = p;
        p += width;
        switch (type) {
          case 0xC2:
            target->setBool(false);
            break;
          case 0xC3:
            target->setBool(true);
            break;
          case 0xC4:
          case 0xC5:
          case 0xC6:
          case 0xD9:
          case 0xDA:
          case 0xDB: {
            const std::uint32_t length = width == 1   ? field[0]
                                         : width == 2 ? loadBigEndian<std::uint16_t>(field)
                                                      : loadBigEndian<std::uint32_t>(field);
            const bool isString = type >= 0xD9;
            if (length > static_cast<std::size_t>(end - p)) {
              failTruncatedBody(result, length, isString, static_cast<std::size_t>(p - begin));
              return static_cast<std::size_t>(p - begin);
            }
            const std::uint8_t* const body = p;
            p += length;
            if (isString) {
              target->setString(std::string_view(reinterpret_cast<const char*>(body), length));
            } else {
              target->setBlob(body, length);
            }
            break;
          }
          case 0xCA: {
            const std::uint32_t bits = loadBigEndian<std::uint32_t>(field);
            float single;
            std::memcpy(&single, &bits, sizeof single);
            target->setFloat(single);
            break;
          }
          case 0xCB: {
            const std::uint64_t bits = loadBigEndian<std::uint64_t>(field);
            double wide;
            std::memcpy(&wide, &bits, sizeof wide);
            target->setFloat(wide);
            break;
          }
          case 0xCC:
            target->setUnsigned(field[0]);
            break;
          case 0xCD:
            target->setUnsigned(loadBigEndian<std::uint16_t>(field));
            break;
          case 0xCE:
            target->setUnsigned(loadBigEndian<std::uint32_t>(field));
            break;
          case 0xCF:
            target->setUnsigned(loadBigEndian<std::uint64_t>(field));
            break;
          case 0xD0:
            target->setSigned(static_cast<std::int8_t>(field[0]));
            break;
          case 0xD1:
            target->setSigned(static_cast<std::int16_t>(loadBigEndian<std::uint16_t>(field)));
            break;
          case 0xD2:
            target->setSigned(static_cast<std::int32_t>(loadBigEndian<std::uint32_t>(field)));
            break;
          case 0xD3:
            target->setSigned(static_cast<std::int64_t>(loadBigEndian<std::uint64_t>(field)));
            break;
          case 0xDC:
          case 0xDD:
          case 0xDE:
          case 0xDF:
            count = width == 2 ? loadBigEndian<std::uint16_t>(field)
                               : loadBigEndian<std::uint32_t>(field);
            container = true;
            structure = type >= 0xDE;
            break;
          default:  // nil
            break;
        }
      }
      if (container) {
        if (structure) {
          target->makeStructure();
        } else {
          target->makeCollection();
          const std::size_t left = static_cast<std::size_t>(end - p);
          std::size_t room = left < reserveBudget ? left : reserveBudget;
          if (count < room) room = count;
          if (room > kMaxCollectionSize) room = kMaxCollectionSize;
          reserveBudget -= room;
          target->reserve(room);
        }
        frames[depth++] = Frame{target, count, structure};
      }

      while (depth != 0 && frames[depth - 1].remaining == 0) --depth;
      if (depth == 0 || p == end) return static_cast<std::size_t>(p - begin);
      Frame& top = frames[depth - 1];
      --top.remaining;
      if (!top.structure) {
        target = &top.value->append();
        continue;
      }
      // The key: str only.
      const std::uint8_t keyType = *p++;
      std::uint32_t keyLength;
      if (keyType >= 0xA0 && keyType <= 0xBF) {
        keyLength = keyType & 0x1Fu;
      } else if (keyType >= 0xD9 && keyType <= 0xDB) {
        const std::size_t width = std::size_t{1} << (keyType - 0xD9);
        if (width > static_cast<std::size_t>(end - p)) {
          failTruncatedNumber(result, width, static_cast<std::size_t>(p - begin));
          return static_cast<std::size_t>(p - begin);
        }
        keyLength = width == 1   ? p[0]
                    : width == 2 ? loadBigEndian<std::uint16_t>(p)
                                 : loadBigEndian<std::uint32_t>(p);
        p += width;
      } else {
        failKeyNotString(result, static_cast<std::size_t>(p - begin));
        return static_cast<std::size_t>(p - begin);
      }
      if (keyLength > static_cast<std::size_t>(end - p)) {
        failTruncatedBody(result, keyLength, true, static_cast<std::size_t>(p - begin));
        return static_cast<std::size_t>(p - begin);
      }
      const std::string_view key(reinterpret_cast<const char*>(p), keyLength);
      p += keyLength;
      if (p == end) return static_cast<std::size_t>(p - begin);
      target = &top.value->member(key);
      // A repeated key replaces its member instead of merging two containers.
      if (!target->isEmpty()) target->reset();
    }
  } catch (const std::length_error&) {
    result.fail(formatMessage("Invalid MessagePack data at position %1. Too many elements.",
                              std::uint64_t{static_cast<std::size_t>(p - begin)}));
  } catch (const std::bad_alloc&) {
    result.fail(formatMessage("Invalid MessagePack data at position %1. Out of memory.",
                              std::uint64_t{static_cast<std::size_t>(p - begin)}));
  }
  return static_cast<std::size_t>(p - begin);
}

}  // namespace

std::size_t decodeMsgPack(BindingResult& result, const void* data, std::size_t size) {
  if (!result.ok()) return 0;
  if (data == nullptr) size = 0;
  return decodeItems(result, static_cast<const std::uint8_t*>(data), size);
}

}  // namespace tev
