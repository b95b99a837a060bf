// Validation of answers against an OpenAPI 3.1 document with Ajv (JSON Schema 2020-12): the
// schema of an operation's answer for a status, with the document's components as $defs, and
// the integer formats checked by their ranges.
import Ajv2020 from "ajv/dist/2020.js";

const integerFormats = {
  int8: [-(2 ** 7), 2 ** 7 - 1],
  uint8: [0, 2 ** 8 - 1],
  int16: [-(2 ** 15), 2 ** 15 - 1],
  uint16: [0, 2 ** 16 - 1],
  int32: [-(2 ** 31), 2 ** 31 - 1],
  uint32: [0, 2 ** 32 - 1],
  int64: [-(2 ** 63), 2 ** 63],
  uint64: [0, 2 ** 64],
};

export function makeValidator(document) {
  const ajv = new Ajv2020({ allErrors: true, allowUnionTypes: true });
  for (const [name, [low, high]] of Object.entries(integerFormats)) {
    ajv.addFormat(name, {
      type: "number",
      validate: (value) => Number.isInteger(value) && value >= low && value <= high,
    });
  }
  for (const name of ["float", "double"]) {
    ajv.addFormat(name, { type: "number", validate: (value) => Number.isFinite(value) });
  }
  // References into the components become references into $defs of each compiled schema.
  const rewrite = (value) =>
    JSON.parse(
      JSON.stringify(value).replaceAll('"#/components/schemas/', '"#/$defs/'),
    );
  const definitions = rewrite(document.components?.schemas ?? {});
  const compiled = new Map();

  // The answer for `status` of the operation at `method` `path`: the exact status, else its
  // class ("4XX"), else "default". Returns the response object and a validate function.
  return function responseFor(method, path, status) {
    const operation = document.paths?.[path]?.[method.toLowerCase()];
    if (!operation) throw new Error(`the document has no operation ${method} ${path}`);
    const key = [String(status), `${String(status)[0]}XX`, "default"].find(
      (candidate) => operation.responses?.[candidate],
    );
    if (!key) throw new Error(`${operation.operationId} documents no answer ${status}`);
    const response = operation.responses[key];
    const schema = response.content?.["application/json"]?.schema;
    if (!schema) throw new Error(`${operation.operationId} ${key} has no JSON schema`);
    const cacheKey = `${method} ${path} ${key}`;
    if (!compiled.has(cacheKey)) {
      compiled.set(cacheKey, ajv.compile({ ...rewrite(schema), $defs: definitions }));
    }
    const validate = compiled.get(cacheKey);
    return {
      key,
      description: response.description,
      check(value) {
        const ok = validate(value);
        return { ok, errors: ok ? [] : ajv.errorsText(validate.errors) };
      },
    };
  };
}
