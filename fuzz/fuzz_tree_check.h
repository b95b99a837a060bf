// Checks shared by the fuzz targets: the JSON text of any tree a reader builds must parse back,
// and two trees compare equal kind by kind. A failed check aborts, which libFuzzer reports.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "binding/binding_property.h"
#include "serialization/json_reader.h"
#include "serialization/json_writer.h"

namespace tev::fuzz {

[[noreturn]] inline void failCheck(const char* what) {
  std::fprintf(stderr, "fuzz check failed: %s\n", what);
  std::abort();
}

// rapidjson's reader uses normal precision, which may miss the written double by a few units
// in the last place (one ulp is a large relative error among subnormals).
inline bool closeEnough(double a, double b) {
  if (a == b) return true;
  if (std::isnan(a) || std::isnan(b) || std::signbit(a) != std::signbit(b)) return false;
  std::int64_t x;
  std::int64_t y;
  std::memcpy(&x, &a, sizeof x);
  std::memcpy(&y, &b, sizeof y);
  return (x > y ? x - y : y - x) <= 4;
}

// Integers compare by value across signed and unsigned: JSON's -0 reads as signed 0 and is
// written as 0, which reads back as unsigned 0.
inline bool sameInteger(const BindingProperty& a, const BindingProperty& b) {
  if (a.isSigned() && b.isUnsigned())
    return a.getSigned() >= 0 && std::uint64_t(a.getSigned()) == b.getUnsigned();
  if (a.isUnsigned() && b.isSigned()) return sameInteger(b, a);
  return false;
}

inline bool sameTree(const BindingProperty& a, const BindingProperty& b) {
  if (a.kind() != b.kind()) return sameInteger(a, b);
  switch (a.kind()) {
    case BindingPropertyKind::kEmpty:
      return true;
    case BindingPropertyKind::kBool:
      return a.getBool() == b.getBool();
    case BindingPropertyKind::kSigned:
      return a.getSigned() == b.getSigned();
    case BindingPropertyKind::kUnsigned:
      return a.getUnsigned() == b.getUnsigned();
    case BindingPropertyKind::kFloat:
      return closeEnough(a.getFloat(), b.getFloat());
    case BindingPropertyKind::kString:
      return a.getString() == b.getString();
    case BindingPropertyKind::kBlob: {
      const auto x = a.getBlob();
      const auto y = b.getBlob();
      return x.size() == y.size() && (x.empty() || std::memcmp(x.data(), y.data(), x.size()) == 0);
    }
    case BindingPropertyKind::kEnum:
      return a.getEnum() == b.getEnum();
    case BindingPropertyKind::kCollection: {
      const auto x = a.elements();
      const auto y = b.elements();
      if (x.size() != y.size()) return false;
      for (std::size_t i = 0; i < x.size(); ++i) {
        if (!sameTree(x[i], y[i])) return false;
      }
      return true;
    }
    case BindingPropertyKind::kStructure: {
      if (a.size() != b.size()) return false;
      auto y = b.members().begin();
      for (const BindingMember member : a.members()) {
        const BindingMember other = *y;
        ++y;
        if (member.key != other.key || !sameTree(member.value, other.value)) return false;
      }
      return true;
    }
  }
  return false;
}

// Writes `tree` compactly and prettily; both texts must parse, unless the tree is empty (which
// writes the empty text).
inline void checkWritesValidJson(const BindingProperty& tree) {
  const String compact = writeJson(tree);
  const String pretty = writeJson(tree, nullptr, "\r\n");
  if (tree.isEmpty()) {
    if (!compact.empty() || !pretty.empty()) failCheck("an empty tree wrote text");
    return;
  }
  if (!parseJson(compact.data(), compact.size()).ok()) failCheck("compact JSON does not parse");
  if (!parseJson(pretty.data(), pretty.size()).ok()) failCheck("pretty JSON does not parse");
}

}  // namespace tev::fuzz
