// Shared helpers of the registry tests: record types registered in a fresh registry, value
// builders, and a canonical text of a value tree for comparisons.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "binding/binding_conversion.h"
#include "binding/binding_field_registration.h"
#include "binding/binding_property.h"
#include "binding/binding_registry.h"
#include "binding/binding_result.h"

namespace regtest {

enum class Color : std::int32_t { kRed = 1, kGreen = 2, kAlsoGreen = 3 };

struct Key {
  tev::String id;
  std::int32_t version = 0;
};

struct Record {
  std::int32_t count = 0;
  std::uint32_t quantity = 0;
  bool flag = false;
  double price = 0;
  tev::String name;
  Color color = Color::kRed;
  Key key;
  tev::Vector<Key> keys;
  std::optional<tev::String> note;
  tev::BindingProperty extra;
  tev::Vector<std::int32_t> numbers;
};

// A record that may nest itself without bound.
struct Node {
  tev::Vector<Node> children;
};

struct Unregistered {
  std::int32_t value = 0;
};

}  // namespace regtest

TEV_BINDING_TYPE(regtest::Color);
TEV_BINDING_TYPE(regtest::Key);
TEV_BINDING_TYPE(regtest::Record);
TEV_BINDING_TYPE(regtest::Node);
TEV_BINDING_TYPE(regtest::Unregistered);

namespace regtest {

// Registers Color ("Color": Red 1, Green 2, AlsoGreen 3), Key, Node and Record ("TestRecord",
// `count` required, everything else optional).
inline void registerTestTypes(tev::BindingRegistry& registry) {
  tev::registerBindingType<Color>(registry, "Color")
      .addEnumerator("Red", 1)
      .addEnumerator("Green", 2)
      .addEnumerator("AlsoGreen", 3);
  {
    auto builder = tev::registerBindingType<Key>(registry, "Key");
    tev::addBindingField(builder, "id", &Key::id);
    tev::addBindingField(builder, "version", &Key::version);
  }
  {
    auto builder = tev::registerBindingType<Node>(registry, "Node");
    tev::addBindingField(builder, "children", &Node::children);
  }
  auto builder = tev::registerBindingType<Record>(registry, "TestRecord");
  tev::addBindingField(builder, "count", &Record::count, tev::kBindingFieldRequired);
  tev::addBindingField(builder, "quantity", &Record::quantity);
  tev::addBindingField(builder, "flag", &Record::flag);
  tev::addBindingField(builder, "price", &Record::price);
  tev::addBindingField(builder, "name", &Record::name);
  tev::addBindingField(builder, "color", &Record::color);
  tev::addBindingField(builder, "key", &Record::key);
  tev::addBindingField(builder, "keys", &Record::keys);
  tev::addBindingField(builder, "note", &Record::note);
  tev::addBindingField(builder, "extra", &Record::extra);
  tev::addBindingField(builder, "numbers", &Record::numbers);
}

inline tev::BindingProperty text(std::string_view value) {
  tev::BindingProperty property;
  property.setString(value);
  return property;
}
inline tev::BindingProperty signedValue(std::int64_t value) {
  tev::BindingProperty property;
  property.setSigned(value);
  return property;
}
inline tev::BindingProperty unsignedValue(std::uint64_t value) {
  tev::BindingProperty property;
  property.setUnsigned(value);
  return property;
}
inline tev::BindingProperty floatValue(double value) {
  tev::BindingProperty property;
  property.setFloat(value);
  return property;
}
inline tev::BindingProperty boolValue(bool value) {
  tev::BindingProperty property;
  property.setBool(value);
  return property;
}

// A canonical text of a tree: kinds and payloads, members in key order.
std::string describe(const tev::BindingProperty& value);

// Converts `value` to T and returns the error text ("" on success).
template <typename T>
std::string convertError(const tev::BindingProperty& value, T& native,
                         const tev::BindingRegistry* registry = nullptr,
                         std::string_view path = "quantity") {
  tev::BindingResult result;
  if (tev::convertToNative(result, value, native, path, registry)) return "";
  return std::string(result.error());
}

}  // namespace regtest
