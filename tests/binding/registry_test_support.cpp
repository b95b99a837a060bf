#include "registry_test_support.h"

#include <cstdio>

namespace regtest {

std::string describe(const tev::BindingProperty& value) {
  using tev::BindingPropertyKind;
  char buffer[64];
  switch (value.kind()) {
    case BindingPropertyKind::kEmpty:
      return "null";
    case BindingPropertyKind::kBool:
      return value.getBool() ? "true" : "false";
    case BindingPropertyKind::kSigned:
      std::snprintf(buffer, sizeof buffer, "%lld", static_cast<long long>(value.getSigned()));
      return std::string("s") + buffer;
    case BindingPropertyKind::kUnsigned:
      std::snprintf(buffer, sizeof buffer, "%llu",
                    static_cast<unsigned long long>(value.getUnsigned()));
      return std::string("u") + buffer;
    case BindingPropertyKind::kFloat:
      std::snprintf(buffer, sizeof buffer, "%.17g", value.getFloat());
      return std::string("f") + buffer;
    case BindingPropertyKind::kString:
      return "\"" + std::string(value.getString()) + "\"";
    case BindingPropertyKind::kBlob: {
      std::string out = "blob(";
      for (const std::uint8_t byte : value.getBlob()) {
        std::snprintf(buffer, sizeof buffer, "%02x", byte);
        out += buffer;
      }
      return out + ")";
    }
    case BindingPropertyKind::kEnum:
      std::snprintf(buffer, sizeof buffer, "enum(%d,%08X)", value.getEnum().value,
                    value.getEnum().typeId);
      return buffer;
    case BindingPropertyKind::kCollection: {
      std::string out = "[";
      for (const tev::BindingProperty& element : value.elements()) {
        if (out.size() > 1) out += ",";
        out += describe(element);
      }
      return out + "]";
    }
    case BindingPropertyKind::kStructure: {
      std::string out = "{";
      for (const tev::BindingMember member : value.members()) {
        if (out.size() > 1) out += ",";
        out += std::string(member.key) + ":" + describe(member.value);
      }
      return out + "}";
    }
  }
  return "?";
}

}  // namespace regtest
