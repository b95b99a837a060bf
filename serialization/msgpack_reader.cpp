#include "serialization/msgpack_reader.h"

#include <cstdint>
#include <cstring>
#include <new>
#include <stdexcept>
#include <string_view>

#include "binding/nesting_limit.h"
#include "logging/format_message.h"

namespace tev {
namespace {

// One open container and the entries it still expects (a structure's entry is a key and its
// value).
struct Frame {
  BindingProperty* value;
  std::uint32_t remaining;
  bool structure;
};

class Decoder {
 public:
  Decoder(BindingResult& result, const std::uint8_t* data, std::size_t size)
      : result_(result), data_(data), size_(size), reserveBudget_(size) {}

  std::size_t run();
  std::size_t position() const { return position_; }

 private:
  std::size_t remaining() const { return size_ - position_; }

  void fail(const String& message) { result_.fail(message); }
  void failInvalid(std::size_t position) {
    fail(formatMessage("Invalid MessagePack data at position %1.", std::uint64_t{position}));
  }

  // Reads a big-endian number of `bytes` bytes; on truncation fails and returns false. Every
  // bound check compares against what is left, so it cannot overflow on 32-bit targets.
  bool readNumber(std::size_t bytes, std::uint64_t& out);
  // Reads a length of `bytes` bytes and then that many body bytes.
  bool readBody(std::size_t lengthBytes, bool isString, std::string_view& out);
  bool readSized(std::uint64_t length, bool isString, std::string_view& out) {
    if (length > remaining()) return failTruncatedBody(length, isString);
    const std::size_t count = static_cast<std::size_t>(length);
    out = std::string_view(reinterpret_cast<const char*>(data_ + position_), count);
    position_ += count;
    return true;
  }
  bool failTruncatedBody(std::uint64_t length, bool isString);

  bool readKey(std::uint8_t type);
  bool decodeItem(std::uint8_t type, BindingProperty& value);
  bool openContainer(BindingProperty& value, std::uint64_t count, bool structure);
  bool refuseDeeperNesting();

  BindingResult& result_;
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t position_ = 0;
  // Collections reserve room only for as many elements as there are input bytes overall, so a
  // declared count can never make the decoder allocate beyond what the input could fill.
  std::size_t reserveBudget_;
  std::string_view pendingKey_;
  Frame frames_[kMaxNestingDepth];
  std::size_t depth_ = 0;
};

bool Decoder::readNumber(std::size_t bytes, std::uint64_t& out) {
  if (remaining() < bytes) {
    const std::uint64_t position = position_;
    switch (bytes) {
      case 1:
        fail(
            formatMessage("Invalid MessagePack data. 8-bit integer value at position %1 is "
                          "truncated.",
                          position));
        break;
      case 2:
        fail(
            formatMessage("Invalid MessagePack data. 16-bit integer value at position %1 is "
                          "truncated.",
                          position));
        break;
      case 4:
        fail(
            formatMessage("Invalid MessagePack data. 32-bit integer value at position %1 is "
                          "truncated.",
                          position));
        break;
      default:
        fail(
            formatMessage("Invalid MessagePack data. 64-bit integer value at position %1 is "
                          "truncated.",
                          position));
        break;
    }
    return false;
  }
  const std::uint8_t* p = data_ + position_;
  switch (bytes) {
    case 1:
      out = p[0];
      break;
    case 2:
      out = static_cast<std::uint64_t>(p[0]) << 8 | p[1];
      break;
    case 4:
      out = static_cast<std::uint64_t>(p[0]) << 24 | static_cast<std::uint64_t>(p[1]) << 16 |
            static_cast<std::uint64_t>(p[2]) << 8 | p[3];
      break;
    default: {
      std::uint64_t value = 0;
      for (std::size_t i = 0; i < 8; ++i) value = (value << 8) | p[i];
      out = value;
      break;
    }
  }
  position_ += bytes;
  return true;
}

bool Decoder::failTruncatedBody(std::uint64_t length, bool isString) {
  if (isString) {
    fail(formatMessage("Invalid MessagePack data. String of size %1 at position %2 is truncated.",
                       length, std::uint64_t{position_}));
  } else {
    fail(formatMessage(
        "Invalid MessagePack data. Raw bytes of size %1 at position %2 are truncated.", length,
        std::uint64_t{position_}));
  }
  return false;
}

bool Decoder::readBody(std::size_t lengthBytes, bool isString, std::string_view& out) {
  std::uint64_t length = 0;
  return readNumber(lengthBytes, length) && readSized(length, isString, out);
}

bool Decoder::readKey(std::uint8_t type) {
  if (type >= 0xA0 && type <= 0xBF) return readSized(type & 0x1Fu, true, pendingKey_);
  switch (type) {
    case 0xD9:
      return readBody(1, true, pendingKey_);
    case 0xDA:
      return readBody(2, true, pendingKey_);
    case 0xDB:
      return readBody(4, true, pendingKey_);
    default:
      fail(formatMessage("Invalid MessagePack data at position %1. Map keys must be strings.",
                         std::uint64_t{position_}));
      return false;
  }
}

// Called right after a container's type byte, before its count is read, so the message names
// the same position for every container type.
bool Decoder::refuseDeeperNesting() {
  if (depth_ < kMaxNestingDepth) return false;
  fail(formatMessage("Invalid MessagePack data at position %1. Nesting deeper than %2 levels.",
                     std::uint64_t{position_}, kMaxNestingDepth));
  return true;
}

bool Decoder::openContainer(BindingProperty& value, std::uint64_t count, bool structure) {
  if (structure) {
    value.makeStructure();
  } else {
    value.makeCollection();
    std::size_t room = remaining() < reserveBudget_ ? remaining() : reserveBudget_;
    if (count < room) room = static_cast<std::size_t>(count);
    if (room > kMaxCollectionSize) room = kMaxCollectionSize;
    reserveBudget_ -= room;
    value.reserve(room);
  }
  // Counts come from at most four bytes.
  frames_[depth_++] = Frame{&value, static_cast<std::uint32_t>(count), structure};
  return true;
}

// Decodes the item whose type byte was just read into `value`; a container header opens a frame
// for the container's entries.
bool Decoder::decodeItem(std::uint8_t type, BindingProperty& value) {
  std::uint64_t number = 0;
  std::string_view bytes;
  if (type <= 0x7F) {
    value.setSigned(type);
  } else if (type >= 0xE0) {
    value.setSigned(static_cast<std::int8_t>(type));
  } else if (type <= 0x8F) {
    return !refuseDeeperNesting() && openContainer(value, type & 0x0Fu, true);
  } else if (type <= 0x9F) {
    return !refuseDeeperNesting() && openContainer(value, type & 0x0Fu, false);
  } else if (type <= 0xBF) {
    if (!readSized(type & 0x1Fu, true, bytes)) return false;
    value.setString(bytes);
  } else {
    switch (type) {
      case 0xC0:
        value.reset();
        break;
      case 0xC2:
        value.setBool(false);
        break;
      case 0xC3:
        value.setBool(true);
        break;
      case 0xC4:
      case 0xC5:
      case 0xC6:
        if (!readBody(std::size_t{1} << (type - 0xC4), false, bytes)) return false;
        value.setBlob(bytes.data(), bytes.size());
        break;
      case 0xCA: {
        if (!readNumber(4, number)) return false;
        const std::uint32_t bits = static_cast<std::uint32_t>(number);
        float single;
        std::memcpy(&single, &bits, sizeof single);
        value.setFloat(single);
        break;
      }
      case 0xCB: {
        if (!readNumber(8, number)) return false;
        double wide;
        std::memcpy(&wide, &number, sizeof wide);
        value.setFloat(wide);
        break;
      }
      case 0xCC:
      case 0xCD:
      case 0xCE:
      case 0xCF:
        if (!readNumber(std::size_t{1} << (type - 0xCC), number)) return false;
        value.setUnsigned(number);
        break;
      case 0xD0:
        if (!readNumber(1, number)) return false;
        value.setSigned(static_cast<std::int8_t>(number));
        break;
      case 0xD1:
        if (!readNumber(2, number)) return false;
        value.setSigned(static_cast<std::int16_t>(number));
        break;
      case 0xD2:
        if (!readNumber(4, number)) return false;
        value.setSigned(static_cast<std::int32_t>(number));
        break;
      case 0xD3:
        if (!readNumber(8, number)) return false;
        value.setSigned(static_cast<std::int64_t>(number));
        break;
      case 0xD9:
      case 0xDA:
      case 0xDB:
        if (!readBody(std::size_t{1} << (type - 0xD9), true, bytes)) return false;
        value.setString(bytes);
        break;
      case 0xDC:
      case 0xDD:
        if (refuseDeeperNesting() || !readNumber(type == 0xDC ? 2 : 4, number)) return false;
        return openContainer(value, number, false);
      case 0xDE:
      case 0xDF:
        if (refuseDeeperNesting() || !readNumber(type == 0xDE ? 2 : 4, number)) return false;
        return openContainer(value, number, true);
      default:  // 0xC1, ext 8/16/32, fixext 1..16
        failInvalid(position_);
        return false;
    }
  }
  return true;
}

std::size_t Decoder::run() {
  BindingProperty* target = &result_.value();
  target->reset();
  // Each round reads the item for `target`, then closes the containers it completes and makes
  // the next target: an element appended to the innermost open collection, or the member named
  // by the key read next. The input may end before any item; nothing is created for an item
  // that is not there.
  while (position_ < size_) {
    if (!decodeItem(data_[position_++], *target)) return position_;
    while (depth_ != 0 && frames_[depth_ - 1].remaining == 0) --depth_;
    if (depth_ == 0 || position_ == size_) return position_;
    Frame& top = frames_[depth_ - 1];
    --top.remaining;
    if (!top.structure) {
      target = &top.value->append();
      continue;
    }
    if (!readKey(data_[position_++])) return position_;
    if (position_ == size_) return position_;
    target = &top.value->member(pendingKey_);
    // A repeated key replaces its member instead of merging two containers.
    if (!target->isEmpty()) target->reset();
  }
  return position_;
}

}  // namespace

std::size_t decodeMsgPack(BindingResult& result, const void* data, std::size_t size) {
  if (!result.ok()) return 0;
  if (data == nullptr) size = 0;
  Decoder decoder(result, static_cast<const std::uint8_t*>(data), size);
  try {
    return decoder.run();
  } catch (const std::length_error&) {
    result.fail(formatMessage("Invalid MessagePack data at position %1. Too many elements.",
                              std::uint64_t{decoder.position()}));
  } catch (const std::bad_alloc&) {
    result.fail(formatMessage("Invalid MessagePack data at position %1. Out of memory.",
                              std::uint64_t{decoder.position()}));
  }
  return decoder.position();
}

}  // namespace tev
