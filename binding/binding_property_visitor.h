// The interface through which writers walk a BindingProperty tree (BindingProperty::accept).
// A visitor only observes: it must not change the tree it is walking. Strings, keys and blob
// bytes handed to it stay valid only for the duration of the call.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace tev {

class BindingPropertyVisitor {
 public:
  virtual ~BindingPropertyVisitor() = default;

  // Scalars, one call per value.
  virtual void visitNull() = 0;
  virtual void visitBool(bool value) = 0;
  virtual void visitSigned(std::int64_t value) = 0;
  virtual void visitUnsigned(std::uint64_t value) = 0;
  virtual void visitFloat(double value) = 0;
  virtual void visitString(std::string_view value) = 0;
  virtual void visitBlob(std::span<const std::uint8_t> bytes) = 0;
  virtual void visitEnum(std::int32_t value, std::uint32_t typeId) = 0;

  // A collection: beginCollection, then per element beginElement, the element's walk,
  // endElement; then endCollection.
  virtual void beginCollection(std::size_t count) = 0;
  virtual void beginElement(std::size_t index) = 0;
  virtual void endElement(std::size_t index) = 0;
  virtual void endCollection() = 0;

  // A structure: as a collection, with members in key order (unsigned bytes).
  virtual void beginStructure(std::size_t count) = 0;
  virtual void beginMember(std::string_view key) = 0;
  virtual void endMember(std::string_view key) = 0;
  virtual void endStructure() = 0;
};

}  // namespace tev
