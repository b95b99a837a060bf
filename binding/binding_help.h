// The API help: describes the registry's functions, types and events either as "Full" help
// records (converted to values through the registry) or as "Epytext" documentation texts with
// "\r\n" line ends. The output is a fresh value owned by the caller; descriptors are only read.
#pragma once

#include <string_view>

#include "binding/binding_event_descriptor.h"
#include "binding/binding_function_descriptor.h"
#include "binding/binding_help_records.h"
#include "binding/binding_result.h"
#include "binding/binding_type_descriptor.h"
#include "binding/binding_type_identifier.h"
#include "platform/allocator.h"

namespace tev {

class BindingRegistry;

// Epytext escape: a leading "-" becomes "E{-}", every "{" "E{lb}" and every "}" "E{rb}".
String epytextEscape(std::string_view text);

// The type text of help: {"vector", element} for vectors and maps, the referenced name (or
// "enum"/"struct" without a descriptor) for enumerations and records, else the builtin name.
BindingFullTypeIdentifier fullTypeIdentifier(const BindingTypeIdentifier& type);
// "bool" ... "object", "bytearray", "list[%1]", "dict[%1]", "callback", "L{Name}"; else empty.
String epytextTypeText(const BindingTypeIdentifier& type);

String epytextFunctionText(const BindingFunctionDescriptor& function);
String epytextTypeText(const BindingTypeDescriptor& type);
String epytextEventText(const BindingEventDescriptor& event);

// Builds the help into result's value, which becomes a structure with the members "functions",
// "types" and "events", each filled from its list sorted by name (a member stays empty when its
// list is). "Full": collections of help records converted through `registry`; "Epytext":
// structures from names to texts; any other format leaves the members empty. Resets `result`
// first; fails it when a help record cannot be converted (help types not registered).
[[nodiscard]] bool buildBindingHelp(BindingResult& result, BindingHelpFormat format,
                                    Vector<const BindingFunctionDescriptor*> functions,
                                    Vector<const BindingTypeDescriptor*> types,
                                    Vector<const BindingEventDescriptor*> events,
                                    const BindingRegistry& registry);
// The same over snapshots of everything `registry` holds.
[[nodiscard]] bool buildBindingHelp(BindingResult& result, BindingHelpFormat format,
                                    const BindingRegistry& registry);

}  // namespace tev
