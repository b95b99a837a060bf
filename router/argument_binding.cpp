#include "router/argument_binding.h"

#include <cerrno>
#include <cstdlib>

#include "binding/nesting_limit.h"
#include "logging/format_message.h"
#include "router/text_decoding.h"

namespace tev {

namespace {

constexpr std::uint64_t kMaxIndex = 0x7FFFFFFF;

bool isDigit(char c) { return c >= '0' && c <= '9'; }

bool failWith(BindingResult& result, const String& message) {
  result.fail(message);
  return false;
}

bool sniffsFormat(BindingBuiltinType type) {
  return type == BindingBuiltinType::kObject || type == BindingBuiltinType::kVector ||
         type == BindingBuiltinType::kStruct;
}

bool bindEmptyValue(BindingResult& result, BindingProperty& argument,
                    const BindingFunctionArgument& descriptor) {
  switch (descriptor.type.type) {
    case BindingBuiltinType::kBool:
      argument.setBool(true);
      return true;
    case BindingBuiltinType::kObject:
    case BindingBuiltinType::kStruct:
      argument.reset();
      argument.makeStructure();
      return true;
    case BindingBuiltinType::kVector:
      argument.reset();
      argument.makeCollection();
      return true;
    default:
      return failWith(result, formatMessage("Expected value for argument '%1'.", descriptor.name));
  }
}

// Steps from `current` to the element one path segment names. Returns null after failing
// `result`.
BindingProperty* stepInto(BindingResult& result, ArgumentBinding& binding, BindingProperty& current,
                          std::string_view segment) {
  if (segment.empty() || !isDigit(segment.front())) return &current.member(segment);

  // strtoull wants a terminated text and reads base 0 as C does: 0x hexadecimal, 0 octal.
  const String text = toString(segment);
  char* end = nullptr;
  errno = 0;
  const unsigned long long index = std::strtoull(text.c_str(), &end, 0);
  if (end != text.c_str() + text.size()) {
    result.fail(formatMessage("Index %1 is in an incorrect format", text));
    return nullptr;
  }
  const std::size_t wanted = static_cast<std::size_t>(index) + 1;
  const std::size_t have = current.isCollection() ? current.size() : 0;
  const std::size_t grow = wanted > have ? wanted - have : 0;
  if (errno == ERANGE || index > kMaxIndex || grow > binding.elementBudget) {
    result.fail(formatMessage("Index %1 is out of range", text));
    return nullptr;
  }
  binding.elementBudget -= grow;
  return &current.element(static_cast<std::size_t>(index));
}

}  // namespace

std::size_t ArgumentIndex::Fnv1a::operator()(std::string_view text) const noexcept {
  std::uint32_t hash = 0x811C9DC5u;
  for (const char c : text) {
    hash ^= static_cast<std::uint8_t>(c);
    hash *= 16777619u;
  }
  return hash;
}

ArgumentIndex::ArgumentIndex(const BindingFunctionDescriptor& function)
    : positions_(function.arguments.size()) {
  for (std::size_t i = 0; i < function.arguments.size(); ++i) {
    positions_.emplace(std::string_view(function.arguments[i].name), i);
  }
}

std::optional<std::size_t> ArgumentIndex::find(std::string_view name) const {
  const auto found = positions_.find(name);
  if (found == positions_.end()) return std::nullopt;
  return found->second;
}

bool bindArguments(BindingResult& result, ArgumentBinding& binding,
                   const RequestValueMap& headerArguments, const StringMap<String>& captures,
                   const RequestValueMap& query) {
  const auto& descriptors = binding.function.arguments;
  binding.arguments.clear();
  binding.arguments.resize(descriptors.size());
  for (std::size_t i = 0; i < descriptors.size(); ++i) {
    if (descriptors[i].type.type == BindingBuiltinType::kBool && !descriptors[i].optional &&
        binding.arguments[i].isEmpty()) {
      binding.arguments[i].setBool(false);
    }
  }
  for (const auto& [key, value] : headerArguments) {
    if (!bindValue(result, binding, key, value, {}, ArgumentLocation::kHeader)) return false;
  }
  for (const auto& [key, value] : captures) {
    if (!bindValue(result, binding, key, value, {}, ArgumentLocation::kPath)) return false;
  }
  for (const auto& [key, value] : query) {
    if (!bindValue(result, binding, key, value, {}, ArgumentLocation::kQuery)) return false;
  }
  return result.ok();
}

bool bindValue(BindingResult& result, ArgumentBinding& binding, std::string_view key,
               std::string_view value, std::string_view contentType, ArgumentLocation source) {
  if (!result.ok()) return false;
  const BindingFunctionDescriptor& function = binding.function;
  const std::size_t dot = key.find('.');
  const std::string_view head = key.substr(0, dot);
  const std::optional<std::size_t> position = binding.index.find(head);
  if (!position || *position >= binding.arguments.size()) {
    return failWith(
        result, formatMessage("Unknown argument '%1' for '%2'.", toString(head), function.name));
  }
  const ArgumentLocation location = binding.location(*position);
  if (location != ArgumentLocation::kAny && location != source) {
    return failWith(result,
                    formatMessage("Argument '%1' for '%2' was specified in an invalid location.",
                                  toString(head), function.name));
  }
  const BindingFunctionArgument& descriptor = function.arguments[*position];
  BindingProperty& argument = binding.arguments[*position];

  if (dot == std::string_view::npos) {
    if (value.empty()) return bindEmptyValue(result, argument, descriptor);
    return decodeText(result, argument, function, key, value, contentType,
                      sniffsFormat(descriptor.type.type));
  }

  BindingProperty* current = &argument;
  std::string_view rest = key.substr(dot + 1);
  for (std::size_t depth = 1;; ++depth) {
    // Each segment opens one more collection or structure around the value.
    if (depth > kMaxNestingDepth) {
      return failWith(result,
                      formatMessage("Argument '%1' for '%2' is nested deeper than %3 levels.",
                                    toString(head), function.name, kMaxNestingDepth));
    }
    const std::size_t end = rest.find('.');
    current = stepInto(result, binding, *current, rest.substr(0, end));
    if (current == nullptr) return false;
    if (end == std::string_view::npos) break;
    rest.remove_prefix(end + 1);
  }
  return decodeText(result, *current, function, key, value, contentType, false);
}

}  // namespace tev
