// The codecs against the libraries they are measured by, on the same inputs in the same run:
// JSON parsing against rapidjson's DOM and nlohmann::json, JSON writing against rapidjson's
// Writer over a Document, MessagePack decoding against msgpack-c, YAML parsing against libyaml's
// bare event loop and yaml-cpp. The inputs are generated here; each benchmark's name ends with
// the input's name. Throughput is reported in bytes of the encoded input per second.
#include <benchmark/benchmark.h>
#include <rapidjson/document.h>
#include <rapidjson/reader.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>
#if TEV_BENCH_YAML_CPP
#include <yaml-cpp/yaml.h>
#endif
#include <yaml.h>

#include <cstdint>
#include <cstring>
#include <msgpack.hpp>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "serialization/json_reader.h"
#include "serialization/json_writer.h"
#include "serialization/msgpack_reader.h"
#include "serialization/yaml_reader.h"

namespace {

using Json = nlohmann::json;

// ---- Inputs --------------------------------------------------------------------------------

// An object with `items`: records with a nested key, a prices array, a null sale and two texts.
Json storeAnswer(int count) {
  Json items = Json::array();
  for (int i = 0; i < count; ++i) {
    Json record;
    record["itemKey"] = {{"inventoryType", i % 2 == 0 ? "CHAMPION" : "CHAMPION_SKIN"},
                         {"itemId", 1000 + i}};
    record["prices"] = Json::array(
        {{{"currency", "RP"}, {"cost", 975 + i % 7}}, {{"currency", "IP"}, {"cost", 4800}}});
    record["sale"] = nullptr;
    record["name"] = "Store item " + std::to_string(i);
    record["description"] = "A catalogue entry of the store, shown in the purchase widget.";
    items.push_back(std::move(record));
  }
  return Json{{"items", std::move(items)}};
}

// 100,000 integers, negative integers and doubles, mixed.
Json numbers() {
  Json list = Json::array();
  for (int i = 0; i < 100000; ++i) {
    switch (i % 3) {
      case 0:
        list.push_back(static_cast<std::int64_t>(i) * 7919);
        break;
      case 1:
        list.push_back(-static_cast<std::int64_t>(i) * 31);
        break;
      default:
        list.push_back(i * 0.25 + 0.1);
        break;
    }
  }
  return list;
}

// Objects nested 50 levels deep, each with a small array.
Json deep50() {
  Json node = {{"level", 50}, {"values", {1, 2, 3}}};
  for (int level = 49; level >= 1; --level) {
    node = Json{{"level", level}, {"values", {level, -level, level * 0.5}}, {"child", node}};
  }
  return node;
}

void emitYaml(const Json& value, std::size_t indent, std::string& out);

void emitYamlChild(const Json& value, std::size_t indent, std::string& out) {
  if ((value.is_object() || value.is_array()) && !value.empty()) {
    out += '\n';
    emitYaml(value, indent + 2, out);
  } else if (value.is_object()) {
    out += " {}\n";
  } else if (value.is_array()) {
    out += " []\n";
  } else {
    out += ' ';
    out += value.is_null() ? std::string("~") : value.dump();
    out += '\n';
  }
}

// Block style, two spaces per level; strings double-quoted, null as ~.
void emitYaml(const Json& value, std::size_t indent, std::string& out) {
  const std::string pad(indent, ' ');
  if (value.is_object()) {
    for (const auto& [key, child] : value.items()) {
      out += pad + key + ":";
      emitYamlChild(child, indent, out);
    }
  } else {
    for (const Json& child : value) {
      out += pad + "-";
      emitYamlChild(child, indent, out);
    }
  }
}

struct Input {
  std::string name;
  std::string json;
  std::vector<std::uint8_t> msgpack;
  std::string yaml;
};

Input makeInput(std::string name, const Json& value) {
  Input input{std::move(name), value.dump(), Json::to_msgpack(value), "---\n"};
  emitYaml(value, 0, input.yaml);
  return input;
}

const std::vector<Input>& inputs() {
  static const std::vector<Input> all = {
      makeInput("store10", storeAnswer(10)),
      makeInput("store5000", storeAnswer(5000)),
      makeInput("numbers", numbers()),
      makeInput("deep50", deep50()),
  };
  return all;
}

void checkOk(benchmark::State& state, bool ok, const char* what) {
  if (!ok) state.SkipWithError(what);
}

// ---- JSON ----------------------------------------------------------------------------------

void jsonParse(benchmark::State& state, const Input* input) {
  checkOk(state, tev::parseJson(input->json.data(), input->json.size()).ok(), "parse failed");
  for (auto _ : state) {
    tev::BindingResult result = tev::parseJson(input->json.data(), input->json.size());
    benchmark::DoNotOptimize(result);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * input->json.size()));
}

// The NUL-terminated form, as bodies given as text are parsed.
void jsonParseText(benchmark::State& state, const Input* input) {
  for (auto _ : state) {
    tev::BindingResult result = tev::parseJson(input->json.c_str());
    benchmark::DoNotOptimize(result);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * input->json.size()));
}

// rapidjson's reader with a handler that keeps nothing: the floor of any reader built on it.
void rapidjsonSaxFloor(benchmark::State& state, const Input* input) {
  for (auto _ : state) {
    rapidjson::BaseReaderHandler<> handler;
    rapidjson::Reader reader;
    rapidjson::StringStream stream(input->json.c_str());
    benchmark::DoNotOptimize(reader.Parse(stream, handler));
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * input->json.size()));
}

void rapidjsonDomParse(benchmark::State& state, const Input* input) {
  for (auto _ : state) {
    rapidjson::Document document;
    document.Parse(input->json.c_str());
    benchmark::DoNotOptimize(document);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * input->json.size()));
}

void nlohmannParse(benchmark::State& state, const Input* input) {
  for (auto _ : state) {
    Json document = Json::parse(input->json);
    benchmark::DoNotOptimize(document);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * input->json.size()));
}

void jsonWriteCompact(benchmark::State& state, const Input* input) {
  const tev::BindingResult tree = tev::parseJson(input->json.c_str());
  std::size_t written = 0;
  for (auto _ : state) {
    tev::String text = tev::writeJson(tree.value());
    written = text.size();
    benchmark::DoNotOptimize(text);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * written));
}

void rapidjsonDomWrite(benchmark::State& state, const Input* input) {
  rapidjson::Document document;
  document.Parse(input->json.c_str());
  std::size_t written = 0;
  for (auto _ : state) {
    rapidjson::StringBuffer buffer;
    rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
    document.Accept(writer);
    written = buffer.GetSize();
    benchmark::DoNotOptimize(buffer.GetString());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * written));
}

// ---- MessagePack ---------------------------------------------------------------------------

void msgpackDecode(benchmark::State& state, const Input* input) {
  {
    tev::BindingResult check;
    const std::size_t consumed =
        tev::decodeMsgPack(check, input->msgpack.data(), input->msgpack.size());
    checkOk(state, check.ok() && consumed == input->msgpack.size(), "decode failed");
  }
  for (auto _ : state) {
    tev::BindingResult result;
    benchmark::DoNotOptimize(
        tev::decodeMsgPack(result, input->msgpack.data(), input->msgpack.size()));
    benchmark::DoNotOptimize(result);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * input->msgpack.size()));
}

void msgpackCUnpack(benchmark::State& state, const Input* input) {
  for (auto _ : state) {
    msgpack::object_handle handle = msgpack::unpack(
        reinterpret_cast<const char*>(input->msgpack.data()), input->msgpack.size());
    benchmark::DoNotOptimize(handle.get());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * input->msgpack.size()));
}

// ---- YAML ----------------------------------------------------------------------------------

void yamlParse(benchmark::State& state, const Input* input) {
  checkOk(state, tev::parseYaml(input->yaml.data(), input->yaml.size()).ok(), "parse failed");
  for (auto _ : state) {
    tev::BindingResult result = tev::parseYaml(input->yaml.data(), input->yaml.size());
    benchmark::DoNotOptimize(result);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * input->yaml.size()));
}

// libyaml's event loop doing nothing with the events: the floor of any reader built on it.
void libyamlEvents(benchmark::State& state, const Input* input) {
  for (auto _ : state) {
    yaml_parser_t parser;
    yaml_parser_initialize(&parser);
    yaml_parser_set_encoding(&parser, YAML_UTF8_ENCODING);
    yaml_parser_set_input_string(
        &parser, reinterpret_cast<const unsigned char*>(input->yaml.data()), input->yaml.size());
    bool done = false;
    while (!done) {
      yaml_event_t event;
      if (!yaml_parser_parse(&parser, &event)) break;
      done = event.type == YAML_STREAM_END_EVENT;
      yaml_event_delete(&event);
    }
    yaml_parser_delete(&parser);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * input->yaml.size()));
}

#if TEV_BENCH_YAML_CPP
void yamlCppLoad(benchmark::State& state, const Input* input) {
  for (auto _ : state) {
    YAML::Node node = YAML::Load(input->yaml);
    benchmark::DoNotOptimize(node);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * input->yaml.size()));
}
#endif

// ---- Hostile input: how long a refusal takes -----------------------------------------------

std::string repeat(const std::string& piece, std::size_t count) {
  std::string out;
  out.reserve(piece.size() * count);
  for (std::size_t i = 0; i < count; ++i) out += piece;
  return out;
}

std::string aliasBomb() {
  std::string text =
      "a: &a [\"lol\",\"lol\",\"lol\",\"lol\",\"lol\",\"lol\",\"lol\",\"lol\",\"lol\"]\n";
  for (char level = 'b'; level <= 'i'; ++level) {
    const std::string alias = std::string("*") + static_cast<char>(level - 1);
    text += std::string(1, level) + ": &" + level + " [" + alias;
    for (int i = 0; i < 8; ++i) text += "," + alias;
    text += "]\n";
  }
  return text;
}

void refuseJsonMillionLevels(benchmark::State& state) {
  const std::string text = repeat("[", 1000000);
  for (auto _ : state) benchmark::DoNotOptimize(tev::parseJson(text.data(), text.size()));
}

void refuseMsgPackMillionLevels(benchmark::State& state) {
  const std::string data = repeat("\x91", 1000000);
  for (auto _ : state) {
    tev::BindingResult result;
    benchmark::DoNotOptimize(tev::decodeMsgPack(result, data.data(), data.size()));
  }
}

void refuseYamlMillionLevels(benchmark::State& state) {
  const std::string text = repeat("[", 1000000);
  for (auto _ : state) benchmark::DoNotOptimize(tev::parseYaml(text.data(), text.size()));
}

void refuseYamlAliasBomb(benchmark::State& state) {
  const std::string text = aliasBomb();
  for (auto _ : state) benchmark::DoNotOptimize(tev::parseYaml(text.c_str()));
}

void refuseMsgPackHugeArrays(benchmark::State& state) {
  const std::string data = repeat(std::string("\xDC\xFF\xFF", 3), 24000);
  for (auto _ : state) {
    tev::BindingResult result;
    benchmark::DoNotOptimize(tev::decodeMsgPack(result, data.data(), data.size()));
  }
}

void registerAll() {
  using Fn = void (*)(benchmark::State&, const Input*);
  const struct {
    const char* name;
    Fn function;
  } families[] = {
      {"BM_Json_Parse", jsonParse},
      {"BM_Json_ParseText", jsonParseText},
      {"BM_RapidjsonSax_Floor", rapidjsonSaxFloor},
      {"BM_RapidjsonDom_Parse", rapidjsonDomParse},
      {"BM_Nlohmann_Parse", nlohmannParse},
      {"BM_Json_WriteCompact", jsonWriteCompact},
      {"BM_RapidjsonDom_Write", rapidjsonDomWrite},
      {"BM_MsgPack_Decode", msgpackDecode},
      {"BM_MsgpackC_Unpack", msgpackCUnpack},
      {"BM_Yaml_Parse", yamlParse},
      {"BM_LibyamlEvents", libyamlEvents},
  };
  for (const auto& family : families) {
    for (const Input& input : inputs()) {
      benchmark::RegisterBenchmark((std::string(family.name) + "/" + input.name).c_str(),
                                   family.function, &input);
    }
  }
#if TEV_BENCH_YAML_CPP
  for (const Input& input : inputs()) {
    benchmark::RegisterBenchmark(("BM_YamlCpp_Load/" + std::string(input.name)).c_str(),
                                 yamlCppLoad, &input);
  }
#endif
  benchmark::RegisterBenchmark("BM_Refuse_JsonMillionLevels", refuseJsonMillionLevels)
      ->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("BM_Refuse_MsgPackMillionLevels", refuseMsgPackMillionLevels)
      ->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("BM_Refuse_MsgPackHugeArrays", refuseMsgPackHugeArrays)
      ->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("BM_Refuse_YamlMillionLevels", refuseYamlMillionLevels)
      ->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("BM_Refuse_YamlAliasBomb", refuseYamlAliasBomb)
      ->Unit(benchmark::kMillisecond);
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  registerAll();
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
