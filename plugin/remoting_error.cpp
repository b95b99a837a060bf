#include "plugin/remoting_error.h"

#include "logging/format_message.h"

namespace tev {

RemotingError makeRemotingError(std::int32_t errorCode, const char* namedTemplate,
                                std::string_view method, std::string_view url,
                                std::string_view error) {
  RemotingError result;
  result.errorCode = errorCode;
  const FieldValue values[] = {FieldValue::ofText(toString(method)),
                               FieldValue::ofText(toString(url)),
                               FieldValue::ofText(toString(error))};
  // The template names its fields in the order method, url, error; the compiled positional
  // template numbers them in that order, so the same three texts fill it.
  String positional;
  compileNamedTemplate(namedTemplate, values, 3, positional, result.fields);
  result.message =
      formatMessage(positional.c_str(), values[0].text, values[1].text, values[2].text);
  if (errorCode != 0) result.fields["errorCode_int"] = FieldValue::ofSigned(errorCode);
  return result;
}

}  // namespace tev
