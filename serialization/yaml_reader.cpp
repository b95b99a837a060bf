#include "serialization/yaml_reader.h"

#include <yaml.h>

#include <cstdint>
#include <cstring>
#include <new>
#include <stdexcept>

#include "binding/nesting_limit.h"
#include "logging/format_message.h"
#include "serialization/internal/yaml_scalar.h"

namespace tev {
namespace {

using serialization_internal::typeYamlScalar;
using serialization_internal::YamlScalarStyle;

constexpr std::uint32_t kNone = 0xFFFFFFFFu;
constexpr std::string_view kStrTag = "tag:yaml.org,2002:str";
// Aliases copy nodes; all copies of one document together may add at most this many nodes, or
// ten per event read so far when that is more. A few hundred bytes of nested aliases would
// otherwise expand to hundreds of millions of nodes.
constexpr std::size_t kMinAliasNodes = 100000;
constexpr std::size_t kAliasNodesPerEvent = 10;
// Texts taken through aliases (keys, key anchors) are hashed or copied each time, so they cost
// a node per this many bytes on top of their own node.
constexpr std::size_t kAliasTextBytesPerNode = 64;

std::size_t textCost(std::size_t length) { return 1 + length / kAliasTextBytesPerNode; }

// A stretch of the reader's key text pool; offsets stay valid as the pool grows.
struct TextRef {
  std::size_t offset = 0;
  std::size_t length = 0;
};

enum class StepKind : std::uint8_t { kRoot, kIndex, kKey };

// One step of a path kept for an anchor: how a node is reached from its parent.
struct PathNode {
  std::uint32_t parent;
  StepKind kind;
  std::size_t index;
  TextRef key;
};

// A node being filled. Its step from the parent is kept here, and turned into a PathNode only
// when an anchor needs the path, so paths cost nothing for documents without anchors and the
// path nodes of many anchors share their common prefix.
struct Frame {
  BindingProperty* value;
  StepKind kind;
  std::size_t index;
  TextRef key;
  std::uint32_t node;
  std::uint32_t anchor;  // the anchor on this node, while the node is open
};

struct Anchor {
  bool isKey;
  bool open;
  TextRef key;         // anchors on mapping keys: the key text
  std::uint32_t node;  // anchors on values: the path of the node
};

struct Mark {
  std::uint64_t line;
  std::uint64_t column;
};

class Parser {
 public:
  Parser() { ready_ = yaml_parser_initialize(&parser_) != 0; }
  ~Parser() {
    if (ready_) yaml_parser_delete(&parser_);
  }
  Parser(const Parser&) = delete;
  Parser& operator=(const Parser&) = delete;

  bool ready() const { return ready_; }
  yaml_parser_t* get() { return &parser_; }

 private:
  yaml_parser_t parser_;
  bool ready_;
};

class Event {
 public:
  Event() { std::memset(&event_, 0, sizeof event_); }
  ~Event() { yaml_event_delete(&event_); }
  Event(const Event&) = delete;
  Event& operator=(const Event&) = delete;

  yaml_event_t* get() { return &event_; }

 private:
  yaml_event_t event_;
};

class YamlReader {
 public:
  explicit YamlReader(BindingResult& result) : result_(result) {}

  void run(const char* data, std::size_t length);

 private:
  BindingProperty& root() { return result_.value(); }
  std::string_view text(TextRef ref) const {
    return std::string_view(texts_.data() + ref.offset, ref.length);
  }
  TextRef storeText(std::string_view value) {
    const TextRef ref{texts_.size(), value.size()};
    texts_.append(value.data(), value.size());
    return ref;
  }

  bool fail(const String& message) {
    result_.fail(message);
    return false;
  }

  void push(BindingProperty& value, StepKind kind, std::size_t index, TextRef key) {
    frames_[depth_++] = Frame{&value, kind, index, key, kNone, kNone};
  }
  void pop() {
    const Frame& frame = frames_[--depth_];
    if (frame.anchor != kNone) anchors_[frame.anchor].open = false;
  }

  bool handle(const yaml_event_t& event);
  bool onKey(const yaml_event_t& event, Mark mark);
  bool onScalar(const yaml_event_t& event, BindingProperty& target);
  bool onStart(const yaml_event_t& event, BindingProperty& target, bool keyPosition, Mark mark);
  bool onAlias(const yaml_event_t& event, BindingProperty& target, bool keyPosition, Mark mark);
  bool addAnchor(const yaml_char_t* name, const Anchor& anchor, Mark mark, std::uint32_t& index);
  std::uint32_t pathOfTop();
  const BindingProperty& resolve(std::uint32_t node);
  bool copyAlias(std::string_view name, const BindingProperty& source, BindingProperty& target,
                 Mark mark);
  std::size_t aliasBudget() const {
    const std::size_t scaled = kAliasNodesPerEvent * events_;
    return scaled > kMinAliasNodes ? scaled : kMinAliasNodes;
  }
  std::size_t aliasBudgetLeft() const {
    const std::size_t budget = aliasBudget();
    return budget > aliasNodes_ ? budget - aliasNodes_ : 0;
  }
  // Takes `cost` from the alias budget, or fails naming the alias.
  bool chargeAlias(std::size_t cost, std::string_view name, Mark mark);

  BindingResult& result_;
  Frame frames_[kMaxNestingDepth + 1];
  std::size_t depth_ = 0;
  String texts_;
  bool keyPending_ = false;
  TextRef pendingKey_;
  Vector<PathNode> nodes_;
  Vector<Anchor> anchors_;
  StringMap<std::uint32_t> anchorIndex_;
  std::size_t events_ = 0;
  std::size_t aliasNodes_ = 0;
};

std::string_view nameOf(const yaml_char_t* name) {
  return name == nullptr ? std::string_view()
                         : std::string_view(reinterpret_cast<const char*>(name));
}

// Counts the nodes of `value` and its height in container levels (a scalar has none), giving up
// once the count passes `limit`. Recurses once per level of a tree that is itself bounded by
// the nesting limit.
bool measure(const BindingProperty& value, std::size_t limit, std::size_t& count,
             std::size_t& height) {
  if (++count > limit) return false;
  height = 0;
  std::size_t childHeight = 0;
  if (value.isCollection()) {
    for (const BindingProperty& element : value.elements()) {
      if (!measure(element, limit, count, childHeight)) return false;
      if (childHeight > height) height = childHeight;
    }
    ++height;
  } else if (value.isStructure()) {
    for (const BindingMember member : value.members()) {
      if (!measure(member.value, limit, count, childHeight)) return false;
      if (childHeight > height) height = childHeight;
    }
    ++height;
  }
  return true;
}

void YamlReader::run(const char* data, std::size_t length) {
  Parser parser;
  if (!parser.ready()) {
    fail("YAML parser error: out of memory. At line: 0 col: 0");
    return;
  }
  yaml_parser_set_encoding(parser.get(), YAML_UTF8_ENCODING);
  yaml_parser_set_input_string(parser.get(), reinterpret_cast<const unsigned char*>(data), length);
  push(root(), StepKind::kRoot, 0, TextRef{});
  bool parserFailed = false;
  while (result_.ok()) {
    Event event;
    if (yaml_parser_parse(parser.get(), event.get()) == 0) {
      parserFailed = true;
      break;
    }
    ++events_;
    if (event.get()->type == YAML_STREAM_END_EVENT) break;
    if (!handle(*event.get())) break;
  }
  if (result_.ok() && parserFailed) {
    const yaml_parser_t& state = *parser.get();
    const char* problem = state.problem;
    if (problem == nullptr) problem = state.error == YAML_MEMORY_ERROR ? "out of memory" : "";
    fail(formatMessage("YAML parser error: %1. At line: %2 col: %3", problem,
                       std::uint64_t{state.problem_mark.line},
                       std::uint64_t{state.problem_mark.column}));
  }
}

bool YamlReader::handle(const yaml_event_t& event) {
  const Mark mark{std::uint64_t{event.start_mark.line} + 1,
                  std::uint64_t{event.start_mark.column} + 1};
  switch (event.type) {
    case YAML_DOCUMENT_START_EVENT:
      if (!root().isEmpty()) return fail("Multi-document YAML is not supported.");
      // A first document whose root was a plain null has already closed the root frame.
      if (depth_ == 0) push(root(), StepKind::kRoot, 0, TextRef{});
      return true;
    case YAML_SEQUENCE_END_EVENT:
    case YAML_MAPPING_END_EVENT:
      if (depth_ != 0) pop();  // libyaml balances them; never trust that with the stack
      return true;
    case YAML_SCALAR_EVENT:
    case YAML_SEQUENCE_START_EVENT:
    case YAML_MAPPING_START_EVENT:
    case YAML_ALIAS_EVENT:
      break;
    default:  // stream start, document end
      return true;
  }
  if (depth_ == 0) return true;  // libyaml sends nodes only inside a document

  Frame& top = frames_[depth_ - 1];
  BindingProperty* target = top.value;
  bool keyPosition = false;
  if (top.value->isCollection()) {
    const std::size_t index = top.value->size();
    target = &top.value->append();
    push(*target, StepKind::kIndex, index, TextRef{});
  } else if (top.value->isStructure()) {
    if (keyPending_) {
      keyPending_ = false;
      target = &top.value->member(text(pendingKey_));
      push(*target, StepKind::kKey, 0, pendingKey_);
    } else {
      keyPosition = true;
    }
  }

  switch (event.type) {
    case YAML_SCALAR_EVENT:
      return keyPosition ? onKey(event, mark) : onScalar(event, *target);
    case YAML_ALIAS_EVENT:
      return onAlias(event, *target, keyPosition, mark);
    default:
      return onStart(event, *target, keyPosition, mark);
  }
}

bool YamlReader::onKey(const yaml_event_t& event, Mark mark) {
  const auto& scalar = event.data.scalar;
  if (scalar.tag != nullptr && nameOf(scalar.tag) != kStrTag) {
    return fail(formatMessage(
        "Invalid mapping key. Only string scalar keys are allowed. At line: %1 col: %2", mark.line,
        mark.column));
  }
  pendingKey_ =
      storeText(std::string_view(reinterpret_cast<const char*>(scalar.value), scalar.length));
  keyPending_ = true;
  if (scalar.anchor == nullptr) return true;
  std::uint32_t index = kNone;
  return addAnchor(scalar.anchor, Anchor{true, false, pendingKey_, kNone}, mark, index);
}

bool YamlReader::onScalar(const yaml_event_t& event, BindingProperty& target) {
  const auto& scalar = event.data.scalar;
  const bool quoted = scalar.style == YAML_SINGLE_QUOTED_SCALAR_STYLE ||
                      scalar.style == YAML_DOUBLE_QUOTED_SCALAR_STYLE;
  String error;
  const std::string_view value(reinterpret_cast<const char*>(scalar.value), scalar.length);
  if (!typeYamlScalar(value, reinterpret_cast<const char*>(scalar.tag),
                      quoted ? YamlScalarStyle::kQuoted : YamlScalarStyle::kPlain, target, error)) {
    return fail(error);
  }
  if (scalar.anchor != nullptr) {
    const Mark mark{std::uint64_t{event.start_mark.line} + 1,
                    std::uint64_t{event.start_mark.column} + 1};
    std::uint32_t index = kNone;
    if (!addAnchor(scalar.anchor, Anchor{false, false, TextRef{}, pathOfTop()}, mark, index)) {
      return false;
    }
  }
  pop();
  return true;
}

bool YamlReader::onStart(const yaml_event_t& event, BindingProperty& target, bool keyPosition,
                         Mark mark) {
  const bool sequence = event.type == YAML_SEQUENCE_START_EVENT;
  if (keyPosition) {
    return fail(formatMessage(sequence ? "Unexpected start of sequence. At line: %1 col: %2"
                                       : "Unexpected start of mapping. At line: %1 col: %2",
                              mark.line, mark.column));
  }
  // The new container sits inside every container below it on the stack.
  if (depth_ > kMaxNestingDepth) {
    return fail(formatMessage("Nesting deeper than %1 levels. At line: %2 col: %3",
                              kMaxNestingDepth, mark.line, mark.column));
  }
  // A repeated key replaces its member instead of merging the two containers.
  if (!target.isEmpty()) target.reset();
  if (sequence) {
    target.makeCollection();
  } else {
    target.makeStructure();
  }
  const yaml_char_t* anchor =
      sequence ? event.data.sequence_start.anchor : event.data.mapping_start.anchor;
  if (anchor == nullptr) return true;
  std::uint32_t index = kNone;
  if (!addAnchor(anchor, Anchor{false, true, TextRef{}, pathOfTop()}, mark, index)) return false;
  frames_[depth_ - 1].anchor = index;
  return true;
}

bool YamlReader::onAlias(const yaml_event_t& event, BindingProperty& target, bool keyPosition,
                         Mark mark) {
  const std::string_view name = nameOf(event.data.alias.anchor);
  const auto found = anchorIndex_.find(name);
  if (found != anchorIndex_.end() && anchors_[found->second].open) {
    return fail(
        formatMessage("Cannot deserialize cyclic aliases. Alias \"%1\". At line: %2 col: %3",
                      toString(name), mark.line, mark.column));
  }
  if (found == anchorIndex_.end()) {
    return fail(formatMessage("Undefined alias encountered: \"%1\". At line: %2 col: %3",
                              toString(name), mark.line, mark.column));
  }
  const Anchor anchor = anchors_[found->second];
  if (keyPosition) {
    // An alias where a key is expected names the key: the text of a key anchor, or a string
    // node. Anything else cannot be a key.
    if (anchor.isKey) {
      if (!chargeAlias(textCost(anchor.key.length), name, mark)) return false;
      pendingKey_ = anchor.key;
      keyPending_ = true;
      return true;
    }
    const BindingProperty& source = resolve(anchor.node);
    if (!source.isString()) {
      return fail(formatMessage(
          "Invalid mapping key. Only string scalar keys are allowed. At line: %1 col: %2",
          mark.line, mark.column));
    }
    if (!chargeAlias(textCost(source.size()), name, mark)) return false;
    pendingKey_ = storeText(source.getString());
    keyPending_ = true;
    return true;
  }
  if (anchor.isKey) {
    if (!chargeAlias(textCost(anchor.key.length), name, mark)) return false;
    target.setString(text(anchor.key));
  } else if (!copyAlias(name, resolve(anchor.node), target, mark)) {
    return false;
  }
  pop();
  return true;
}

bool YamlReader::chargeAlias(std::size_t cost, std::string_view name, Mark mark) {
  if (cost <= aliasBudgetLeft()) {
    aliasNodes_ += cost;
    return true;
  }
  return fail(formatMessage("Alias expansion exceeds %1 nodes. Alias \"%2\". At line: %3 col: %4",
                            aliasBudget(), toString(name), mark.line, mark.column));
}

bool YamlReader::copyAlias(std::string_view name, const BindingProperty& source,
                           BindingProperty& target, Mark mark) {
  if (&source == &target) return true;  // a repeated key aliasing its own earlier value
  // A path recorded before its key was set again can lead to a node that is open now, an
  // ancestor of the target: as cyclic as an alias to an open anchor.
  for (std::size_t i = 0; i + 1 < depth_; ++i) {
    if (frames_[i].value == &source) {
      return fail(
          formatMessage("Cannot deserialize cyclic aliases. Alias \"%1\". At line: %2 col: %3",
                        toString(name), mark.line, mark.column));
    }
  }
  // Counted before anything is copied; a copy shares the strings of its source, so every node
  // costs the same.
  std::size_t count = 0;
  std::size_t height = 0;
  if (!measure(source, aliasBudgetLeft(), count, height)) return chargeAlias(count, name, mark);
  // The target's frame index is the number of containers around it.
  if (depth_ - 1 + height > kMaxNestingDepth) {
    return fail(formatMessage("Nesting deeper than %1 levels. Alias \"%2\". At line: %3 col: %4",
                              kMaxNestingDepth, toString(name), mark.line, mark.column));
  }
  if (!chargeAlias(count, name, mark)) return false;
  target = source;
  return true;
}

bool YamlReader::addAnchor(const yaml_char_t* name, const Anchor& anchor, Mark mark,
                           std::uint32_t& index) {
  const std::string_view key = nameOf(name);
  const auto [entry, inserted] =
      anchorIndex_.try_emplace(toString(key), static_cast<std::uint32_t>(anchors_.size()));
  if (!inserted) {
    return fail(formatMessage("Duplicate occurrence of anchor \"%1\". At line: %2 col: %3",
                              toString(key), mark.line, mark.column));
  }
  anchors_.push_back(anchor);
  index = entry->second;
  return true;
}

// The path node of the top frame, creating the nodes of the frames below that have none yet.
std::uint32_t YamlReader::pathOfTop() {
  std::size_t first = depth_;
  while (first > 0 && frames_[first - 1].node == kNone) --first;
  for (std::size_t i = first; i < depth_; ++i) {
    Frame& frame = frames_[i];
    const std::uint32_t parent = i == 0 ? kNone : frames_[i - 1].node;
    frame.node = static_cast<std::uint32_t>(nodes_.size());
    nodes_.push_back(PathNode{parent, frame.kind, frame.index, frame.key});
  }
  return frames_[depth_ - 1].node;
}

// Walks a recorded path from the root as the tree stands now; a step that no longer leads
// anywhere yields the shared empty value.
const BindingProperty& YamlReader::resolve(std::uint32_t node) {
  const PathNode* steps[kMaxNestingDepth + 1];
  std::size_t count = 0;
  for (std::uint32_t at = node; at != kNone && count < kMaxNestingDepth + 1;
       at = nodes_[at].parent) {
    steps[count++] = &nodes_[at];
  }
  const BindingProperty* current = &root();
  while (count > 0) {
    const PathNode& step = *steps[--count];
    if (step.kind == StepKind::kIndex) {
      current = &current->getElement(step.index);
    } else if (step.kind == StepKind::kKey) {
      current = &current->getMember(text(step.key));
    }
  }
  return *current;
}

}  // namespace

BindingResult parseYaml(const char* text) {
  if (text == nullptr) text = "";
  return parseYaml(text, std::strlen(text));
}

BindingResult parseYaml(const char* data, std::size_t length) {
  BindingResult result;
  if (data == nullptr) {
    data = "";
    length = 0;
  }
  try {
    YamlReader reader(result);
    reader.run(data, length);
  } catch (const std::length_error&) {
    result.fail("Too many elements in YAML.");
  } catch (const std::bad_alloc&) {
    result.fail("Out of memory while reading YAML.");
  }
  return result;
}

bool looksLikeYaml(std::string_view text) {
  const std::size_t first = text.find_first_not_of(' ');
  return first != std::string_view::npos && text.substr(first, 3) == "---";
}

bool looksLikeYaml(const char* text) {
  return text != nullptr && looksLikeYaml(std::string_view(text));
}

}  // namespace tev
