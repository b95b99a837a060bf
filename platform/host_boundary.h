/* The records that cross the boundary between the plugin and its host: plain C declarations with
 * a fixed 32-bit layout, included by the plugin and by any host, whatever its language. Who owns
 * a record's pointers is stated per record; never add C++ types or member functions here. */
#ifndef TEV_PLATFORM_HOST_BOUNDARY_H_
#define TEV_PLATFORM_HOST_BOUNDARY_H_

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#define TEV_HOST_STATIC_ASSERT(condition, reason) static_assert(condition, reason)
#else
#define TEV_HOST_STATIC_ASSERT(condition, reason) _Static_assert(condition, reason)
#endif

/* Type codes of a HostValue. */
enum HostValueType {
  kHostValueEmpty = 0,
  kHostValueBool = 1,
  kHostValueSigned = 2,
  kHostValueUnsigned = 3,
  kHostValueFloat = 4,
  kHostValueString = 5,      /* text not owned by the value */
  kHostValueOwnedString = 6, /* text freed with the value */
  kHostValueBlob = 7,        /* bytes not owned by the value */
  kHostValueOwnedBlob = 8,   /* bytes freed with the value */
  kHostValueCollection = 9,  /* array of HostValue, always owned */
  kHostValueStructure = 10   /* array of HostStructureEntry, always owned */
};

struct HostValue;
struct HostStructureEntry;

#pragma pack(push, 4)
/* One value, 12 bytes on the 32-bit target: a type code (HostValueType), then 8 bytes of
 * payload. Texts are NUL-terminated; a text's length field is informative only. Owned texts,
 * bytes and arrays come from the plugin's allocation hooks and are freed by clearing the value
 * through the plugin. */
typedef struct HostValue {
  uint32_t type;
  union {
    uint8_t boolean;
    int64_t signedValue;
    uint64_t unsignedValue;
    double floatValue;
    struct {
      const char* text;
      uint32_t length;
    } string;
    struct {
      const uint8_t* bytes;
      uint32_t length;
    } blob;
    struct {
      struct HostValue* elements;
      uint32_t count;
    } collection;
    struct {
      struct HostStructureEntry* entries;
      uint32_t count;
    } structure;
  } payload;
} HostValue;
#pragma pack(pop)

#pragma pack(push, 1)
/* One member of a structure value, 17 bytes packed on the 32-bit target: the NUL-terminated key,
 * the member's value, and keyOwned = 1 when the key is freed with the structure. */
typedef struct HostStructureEntry {
  const char* key;
  HostValue value;
  uint8_t keyOwned;
} HostStructureEntry;
#pragma pack(pop)

#pragma pack(push, 4)
/* The outcome of a conversion from a host value: the value, then on failure an owned,
 * NUL-terminated error text (allocation hooks) and hasError = 1. */
typedef struct HostResult {
  HostValue value;
  char* error;
  uint8_t hasError;
} HostResult;
#pragma pack(pop)

#if defined(_WIN32) && !defined(_WIN64)
TEV_HOST_STATIC_ASSERT(sizeof(HostValue) == 12, "HostValue is 12 bytes");
TEV_HOST_STATIC_ASSERT(offsetof(HostValue, type) == 0, "HostValue type code at 0");
TEV_HOST_STATIC_ASSERT(offsetof(HostValue, payload) == 4, "HostValue payload at 4");
TEV_HOST_STATIC_ASSERT(sizeof(HostStructureEntry) == 17, "HostStructureEntry is 17 bytes");
TEV_HOST_STATIC_ASSERT(offsetof(HostStructureEntry, key) == 0, "entry key at 0");
TEV_HOST_STATIC_ASSERT(offsetof(HostStructureEntry, value) == 4, "entry value at 4");
TEV_HOST_STATIC_ASSERT(offsetof(HostStructureEntry, keyOwned) == 16, "entry owned flag at 16");
TEV_HOST_STATIC_ASSERT(offsetof(HostResult, error) == 12, "HostResult error text at 12");
TEV_HOST_STATIC_ASSERT(offsetof(HostResult, hasError) == 16, "HostResult error flag at 16");
#endif

/* ---- Load handshake, host function table, events, outgoing requests ---------------------- */

struct PluginApiTable;
struct HostPluginApi;
struct MemoryStatistics;

/* The host's side of Initialize (host-owned, read once): its function table and the opaque
 * handle the plugin hands back with every subscription and local request. */
typedef struct HostConnection {
  const struct HostPluginApi* api;
  uint32_t pluginHandle;
} HostConnection;

/* The plugin's three entry functions, called with the descriptor's context pointer. Initialize
 * returns non-zero for success; the context is invalid after Shutdown; GetMemoryStatistics does
 * not use the context. */
typedef struct PluginEntryTable {
  uint8_t (*initialize)(void* context, const HostConnection* connection);
  void (*shutdown)(void* context);
  void (*getMemoryStatistics)(void* context, struct MemoryStatistics* out);
} PluginEntryTable;

/* The load handshake record, owned by the host. In: the host's API version in the first three
 * words. Out (written only when the host is compatible): the plugin's version, its entry table,
 * the context for the entry functions, its short name and its API table, all valid until
 * Shutdown. */
typedef struct PluginDescriptor {
  uint32_t major;
  uint32_t minor;
  uint32_t patch;
  const PluginEntryTable* entryTable;
  void* context;
  const char* shortName;
  const struct PluginApiTable* apiTable;
} PluginDescriptor;

/* The exported entry: `load_tev_purchase_widget` has this type. */
typedef void (*PluginEntryFunction)(PluginDescriptor* descriptor);

#if defined(_WIN32)
#define TEV_PLUGIN_EXPORT __declspec(dllexport)
#else
#define TEV_PLUGIN_EXPORT __attribute__((visibility("default")))
#endif

#pragma pack(push, 4)
/* The plugin's allocation counters: six 64-bit counts, then 8 bytes of zero. */
typedef struct MemoryStatistics {
  uint64_t peakBytesInUse;
  uint64_t liveBlocksAtPeak;
  uint64_t bytesAllocated;
  uint64_t allocations;
  uint64_t bytesFreed;
  uint64_t frees;
  uint8_t reserved[8];
} MemoryStatistics;
#pragma pack(pop)

/* A header or any other pair of texts, 8 bytes; the texts stay owned by the record's writer. */
typedef struct HostHeader {
  const char* name;
  const char* value;
} HostHeader;

#pragma pack(push, 4)
/* An event as the host delivers it and as the plugin publishes it, 24 bytes. The name and the
 * payload stay owned by their writer for the duration of the call. `word` is the publisher's;
 * `context` is what AddEventHandler was given (0 when publishing). */
typedef struct HostEvent {
  const char* name;
  HostValue payload;
  uint32_t word;
  void* context;
} HostEvent;
#pragma pack(pop)

typedef void (*HostEventCallback)(const HostEvent* event);

/* An HTTP request the host performs for the plugin, 32 bytes, written by the plugin and valid
 * for the duration of the call. `parameter` and `flag` are the host's and pass unchanged. */
typedef struct HostExternalRequest {
  uint32_t method;
  const char* url;
  const HostHeader* headers;
  uint32_t headerCount;
  const uint8_t* body;
  uint32_t bodyLength;
  uint32_t parameter;
  uint8_t flag;
  uint8_t zero[3];
} HostExternalRequest;

/* The host's answer to a HostExternalRequest, 28 bytes, zeroed by the plugin and filled by the
 * host. errorCode 0: performed, and status, headers and body are the server's; otherwise the
 * body holds the error text. The plugin calls `release` (when set) once it has read the answer. */
typedef struct HostExternalAnswer {
  int32_t errorCode;
  int32_t status;
  const HostHeader* headers;
  uint32_t headerCount;
  const char* body;
  uint32_t bodyLength;
  void (*release)(struct HostExternalAnswer* answer);
} HostExternalAnswer;

#pragma pack(push, 4)
/* One named parameter of a local request, 16 bytes. */
typedef struct HostLocalParameter {
  const char* name;
  HostValue value;
} HostLocalParameter;

/* A request to the host's local API, 48 bytes, zeroed and then written by the plugin; valid
 * for the duration of the call. */
typedef struct HostLocalRequest {
  uint32_t method;
  const char* target;
  const HostLocalParameter* parameters;
  uint32_t parameterCount;
  uint8_t zero1[24];
  uint32_t pluginHandle;
  uint32_t zero2;
} HostLocalRequest;
#pragma pack(pop)

/* Reads the next piece of a streamed local answer: at most *length bytes into `buffer`; sets
 * *length to the bytes written and *more to whether more follows. Returns 0 on failure. */
typedef uint8_t (*HostStreamRead)(void* context, char* buffer, uint32_t* length, uint8_t* more);

#pragma pack(push, 1)
/* The host's answer to a HostLocalRequest, 62 bytes packed, zeroed by the plugin and filled by
 * the host. `error` null means success; the result is then either `result` or, when `read` is
 * set, a stream of JSON text. The plugin calls `streamRelease` after reading a stream and
 * `release` with the record's address when it is done with the answer; both may be null. */
typedef struct HostLocalAnswer {
  HostValue result;
  const char* error;
  uint8_t hasError;
  uint8_t flag;
  uint32_t format;
  int32_t status;
  const char* statusText;
  const HostHeader* headers;
  uint32_t headerCount;
  HostStreamRead read;
  void (*streamRelease)(void* context);
  uint64_t expectedSize;
  void* streamContext;
  void (*release)(struct HostLocalAnswer* answer);
} HostLocalAnswer;
#pragma pack(pop)

/* The host's functions, reached through word 0 of the HostConnection. Every function takes the
 * table's own address first; `handle` is the HostConnection's plugin handle. */
typedef struct HostPluginApi {
  void (*sendLocalRequest)(const struct HostPluginApi* api, HostLocalAnswer* answer,
                           const HostLocalRequest* request);
  void (*sendExternalRequest)(const struct HostPluginApi* api, HostExternalAnswer* answer,
                              const HostExternalRequest* request);
  void (*fireEvent)(const struct HostPluginApi* api, const HostEvent* event);
  /* From now on `callback` runs once per event of that name, with `context` in the record. */
  void (*addEventHandler)(const struct HostPluginApi* api, const char* name, uint32_t handle,
                          HostEventCallback callback, void* context, uint32_t flag);
  /* No callback for that name after this returns. */
  void (*removeEventHandler)(const struct HostPluginApi* api, const char* name, uint32_t handle);
  void (*function5)(const struct HostPluginApi* api, uint32_t a, uint32_t b, uint32_t c,
                    double value, uint32_t d);
  void (*yield)(const struct HostPluginApi* api);
  void (*beginWait)(const struct HostPluginApi* api, const char* label, uint32_t flag);
  void (*endWait)(const struct HostPluginApi* api);
  void (*log)(const struct HostPluginApi* api, int32_t level, const char* message);
} HostPluginApi;

#if defined(_WIN32) && !defined(_WIN64)
TEV_HOST_STATIC_ASSERT(sizeof(HostConnection) == 8, "HostConnection is 8 bytes");
TEV_HOST_STATIC_ASSERT(sizeof(PluginEntryTable) == 12, "PluginEntryTable holds 3 functions");
TEV_HOST_STATIC_ASSERT(sizeof(PluginDescriptor) == 28, "PluginDescriptor is 28 bytes");
TEV_HOST_STATIC_ASSERT(offsetof(PluginDescriptor, entryTable) == 12, "entry table at 12");
TEV_HOST_STATIC_ASSERT(offsetof(PluginDescriptor, context) == 16, "context at 16");
TEV_HOST_STATIC_ASSERT(offsetof(PluginDescriptor, shortName) == 20, "short name at 20");
TEV_HOST_STATIC_ASSERT(offsetof(PluginDescriptor, apiTable) == 24, "API table at 24");
TEV_HOST_STATIC_ASSERT(sizeof(MemoryStatistics) == 56, "MemoryStatistics is 56 bytes");
TEV_HOST_STATIC_ASSERT(offsetof(MemoryStatistics, frees) == 40, "frees at 40");
TEV_HOST_STATIC_ASSERT(offsetof(MemoryStatistics, reserved) == 48, "zero tail at 48");
TEV_HOST_STATIC_ASSERT(sizeof(HostHeader) == 8, "HostHeader is 8 bytes");
TEV_HOST_STATIC_ASSERT(sizeof(HostEvent) == 24, "HostEvent is 24 bytes");
TEV_HOST_STATIC_ASSERT(offsetof(HostEvent, payload) == 4, "event payload at 4");
TEV_HOST_STATIC_ASSERT(offsetof(HostEvent, word) == 16, "event word at 16");
TEV_HOST_STATIC_ASSERT(offsetof(HostEvent, context) == 20, "event context at 20");
TEV_HOST_STATIC_ASSERT(sizeof(HostExternalRequest) == 32, "HostExternalRequest is 32 bytes");
TEV_HOST_STATIC_ASSERT(offsetof(HostExternalRequest, url) == 4, "URL at 4");
TEV_HOST_STATIC_ASSERT(offsetof(HostExternalRequest, headerCount) == 12, "header count at 12");
TEV_HOST_STATIC_ASSERT(offsetof(HostExternalRequest, bodyLength) == 20, "body length at 20");
TEV_HOST_STATIC_ASSERT(offsetof(HostExternalRequest, parameter) == 24, "parameter at 24");
TEV_HOST_STATIC_ASSERT(offsetof(HostExternalRequest, flag) == 28, "flag at 28");
TEV_HOST_STATIC_ASSERT(sizeof(HostExternalAnswer) == 28, "HostExternalAnswer is 28 bytes");
TEV_HOST_STATIC_ASSERT(offsetof(HostExternalAnswer, status) == 4, "status at 4");
TEV_HOST_STATIC_ASSERT(offsetof(HostExternalAnswer, body) == 16, "answer body at 16");
TEV_HOST_STATIC_ASSERT(offsetof(HostExternalAnswer, release) == 24, "answer release at 24");
TEV_HOST_STATIC_ASSERT(sizeof(HostLocalParameter) == 16, "HostLocalParameter is 16 bytes");
TEV_HOST_STATIC_ASSERT(sizeof(HostLocalRequest) == 48, "HostLocalRequest is 48 bytes");
TEV_HOST_STATIC_ASSERT(offsetof(HostLocalRequest, parameters) == 8, "parameters at 8");
TEV_HOST_STATIC_ASSERT(offsetof(HostLocalRequest, parameterCount) == 12, "parameter count at 12");
TEV_HOST_STATIC_ASSERT(offsetof(HostLocalRequest, pluginHandle) == 40, "plugin handle at 40");
TEV_HOST_STATIC_ASSERT(sizeof(HostLocalAnswer) == 62, "HostLocalAnswer is 62 bytes");
TEV_HOST_STATIC_ASSERT(offsetof(HostLocalAnswer, error) == 12, "local error at 12");
TEV_HOST_STATIC_ASSERT(offsetof(HostLocalAnswer, status) == 22, "local status at 22");
TEV_HOST_STATIC_ASSERT(offsetof(HostLocalAnswer, read) == 38, "stream read at 38");
TEV_HOST_STATIC_ASSERT(offsetof(HostLocalAnswer, streamRelease) == 42, "stream release at 42");
TEV_HOST_STATIC_ASSERT(offsetof(HostLocalAnswer, expectedSize) == 46, "expected size at 46");
TEV_HOST_STATIC_ASSERT(offsetof(HostLocalAnswer, streamContext) == 54, "stream context at 54");
TEV_HOST_STATIC_ASSERT(offsetof(HostLocalAnswer, release) == 58, "local release at 58");
TEV_HOST_STATIC_ASSERT(sizeof(HostPluginApi) == 40, "HostPluginApi holds 10 functions");
TEV_HOST_STATIC_ASSERT(offsetof(HostPluginApi, log) == 36, "log is function 9");
#endif

/* ---- Endpoint requests, responses and the API table ------------------------------------------ */

/* Reads the next piece of a streamed response body; the same contract as HostStreamRead. */
typedef HostStreamRead HostBodyRead;
/* Destroys a response body producer; called once by the host when it is done with the body. */
typedef void (*HostBodyRelease)(void* producer);

/* A request for one of the plugin's endpoints, 48 bytes, filled by the host and valid for the
 * duration of the request callback. Texts are NUL-terminated and may be null (read as empty);
 * the body is `bodyLength` bytes and is never read past that length. `arguments` is an array of
 * `argumentCount` pointers to named (or unnamed: null name) host values. `context` is the one an
 * endpoint entry of the API table carries; `requestHandle` passes to the endpoint unchanged. */
typedef struct HostEndpointRequest {
  uint32_t method;
  const char* target;
  const HostLocalParameter* const* arguments;
  uint32_t argumentCount;
  void* context;
  const HostHeader* headers;
  uint32_t headerCount;
  const char* contentType;
  const void* body;
  uint32_t bodyLength;
  void* requestHandle;
  const char* methodText;
} HostEndpointRequest;

struct HostEndpointResponse;
/* Frees what a response owns (value, error text, status text, headers) and zeroes it. */
typedef void (*HostResponseCleanup)(struct HostEndpointResponse* response);

#pragma pack(push, 1)
/* The plugin's answer to a HostEndpointRequest, 62 bytes packed, written by the plugin. The host
 * reads it, then calls `cleanup` with its address; when `bodyProducer` is set, the host reads the
 * body through `readBody(bodyProducer, ...)` and ends it with `releaseBody(bodyProducer)`, which
 * cleanup does not do. hasError = 1: `error` holds the message (null only when memory ran out)
 * and `result` is empty. format is 0 to 3; status 0 leaves the choice to the host. Every text and
 * array here is the plugin's. */
typedef struct HostEndpointResponse {
  HostValue result;
  char* error;
  uint8_t hasError;
  uint8_t flag;
  uint32_t format;
  int32_t status;
  const char* statusText;
  HostHeader* headers;
  uint32_t headerCount;
  HostBodyRead readBody;
  HostBodyRelease releaseBody;
  uint32_t bodySize;
  uint32_t zero;
  void* bodyProducer;
  HostResponseCleanup cleanup;
} HostEndpointResponse;
#pragma pack(pop)

/* The request callback of an endpoint entry. `response` must be zeroed or hold an earlier
 * response of the plugin (it is cleaned up first). */
typedef void (*HostEndpointCallback)(HostEndpointResponse* response,
                                     const HostEndpointRequest* request);

/* The API table and its records: plain packed arrays owned by the plugin, valid until the plugin
 * rebuilds its table or shuts down, and read by the host without locks. Each array's records are
 * also chained through their leading `next` (null in the last one). Texts are never null; a
 * missing text is empty. Type codes are the builtin codes 1 to 19, else 0. */
#pragma pack(push, 1)
typedef struct ApiArgumentRecord {
  struct ApiArgumentRecord* next;
  const char* name;
  const char* description;
  uint32_t type;
  uint32_t elementType;
  const char* typeName; /* for struct, enum, vector and map of a registered type, else "" */
  uint8_t optional;
} ApiArgumentRecord;

typedef struct ApiFunctionRecord {
  struct ApiFunctionRecord* next;
  uint32_t zero;
  void* context; /* in an endpoint entry: what the host passes back in the request */
  const char* name;
  const char* nameSpace;
  ApiArgumentRecord* arguments;
  uint32_t argumentCount;
  uint32_t returnType;
  uint32_t returnElementType;
  const char* returnTypeName;
  const char* description;
  const char* help;
  uint8_t threadSafe;
  const char* asyncTypeName; /* an asynchronous function's declared result type, else "" */
  const char* const* tags;
  uint32_t tagCount;
} ApiFunctionRecord;

typedef struct ApiLocationRecord {
  struct ApiLocationRecord* next;
  uint32_t location; /* 0 any, 1 query, 2 path, 4 header, 5 body */
} ApiLocationRecord;

typedef struct ApiTagList {
  struct ApiTagList* next;
  const char* const* tags;
  uint32_t tagCount;
} ApiTagList;

/* One published endpoint: its function's record, then how to reach it. */
typedef struct ApiEndpointEntry {
  ApiFunctionRecord function;
  HostEndpointCallback callback;
  ApiLocationRecord* locations; /* one per argument */
  const char* pathTemplate;
  uint32_t method;
  uint8_t flag;
  ApiTagList* tagLists;
  uint32_t tagListCount;
  const char* methodText;
} ApiEndpointEntry;

typedef struct ApiFieldRecord {
  struct ApiFieldRecord* next;
  const char* name;
  const char* description;
  uint32_t offset;
  uint32_t type;
  uint32_t elementType;
  const char* typeName;
  uint8_t optional;
} ApiFieldRecord;

typedef struct ApiEnumeratorRecord {
  struct ApiEnumeratorRecord* next;
  const char* name;
  const char* description;
  int32_t value;
} ApiEnumeratorRecord;

/* A record type (fields set, enumerators null) or an enumeration (fields null, enumerators set
 * unless it has none); `memberCount` counts whichever is set. */
typedef struct ApiTypeRecord {
  struct ApiTypeRecord* next;
  const char* name;
  const char* nameSpace;
  uint32_t size;
  const char* description;
  const char* const* tags;
  uint32_t tagCount;
  ApiFieldRecord* fields;
  ApiEnumeratorRecord* enumerators;
  uint32_t memberCount;
} ApiTypeRecord;

typedef struct ApiEventRecord {
  struct ApiEventRecord* next;
  const char* name;
  const char* nameSpace;
  const char* dataTypeName;
  const char* description;
  const char* const* tags;
  uint32_t tagCount;
} ApiEventRecord;

/* What the plugin publishes, 24 bytes; the plugin keeps it at one address. */
typedef struct PluginApiTable {
  ApiEndpointEntry* endpoints;
  uint32_t endpointCount;
  ApiTypeRecord* types;
  uint32_t typeCount;
  ApiEventRecord* events;
  uint32_t eventCount;
} PluginApiTable;
#pragma pack(pop)

#if defined(_WIN32) && !defined(_WIN64)
TEV_HOST_STATIC_ASSERT(sizeof(HostEndpointRequest) == 48, "HostEndpointRequest is 48 bytes");
TEV_HOST_STATIC_ASSERT(offsetof(HostEndpointRequest, arguments) == 8, "arguments at 8");
TEV_HOST_STATIC_ASSERT(offsetof(HostEndpointRequest, context) == 16, "context at 16");
TEV_HOST_STATIC_ASSERT(offsetof(HostEndpointRequest, headers) == 20, "headers at 20");
TEV_HOST_STATIC_ASSERT(offsetof(HostEndpointRequest, contentType) == 28, "content type at 28");
TEV_HOST_STATIC_ASSERT(offsetof(HostEndpointRequest, body) == 32, "body at 32");
TEV_HOST_STATIC_ASSERT(offsetof(HostEndpointRequest, bodyLength) == 36, "body length at 36");
TEV_HOST_STATIC_ASSERT(offsetof(HostEndpointRequest, requestHandle) == 40, "handle at 40");
TEV_HOST_STATIC_ASSERT(offsetof(HostEndpointRequest, methodText) == 44, "method text at 44");
TEV_HOST_STATIC_ASSERT(sizeof(HostEndpointResponse) == 62, "HostEndpointResponse is 62 bytes");
TEV_HOST_STATIC_ASSERT(offsetof(HostEndpointResponse, error) == 12, "error at 12");
TEV_HOST_STATIC_ASSERT(offsetof(HostEndpointResponse, hasError) == 16, "error flag at 16");
TEV_HOST_STATIC_ASSERT(offsetof(HostEndpointResponse, flag) == 17, "flag at 17");
TEV_HOST_STATIC_ASSERT(offsetof(HostEndpointResponse, format) == 18, "format at 18");
TEV_HOST_STATIC_ASSERT(offsetof(HostEndpointResponse, status) == 22, "status at 22");
TEV_HOST_STATIC_ASSERT(offsetof(HostEndpointResponse, statusText) == 26, "status text at 26");
TEV_HOST_STATIC_ASSERT(offsetof(HostEndpointResponse, headers) == 30, "headers at 30");
TEV_HOST_STATIC_ASSERT(offsetof(HostEndpointResponse, headerCount) == 34, "header count at 34");
TEV_HOST_STATIC_ASSERT(offsetof(HostEndpointResponse, readBody) == 38, "body read at 38");
TEV_HOST_STATIC_ASSERT(offsetof(HostEndpointResponse, releaseBody) == 42, "body release at 42");
TEV_HOST_STATIC_ASSERT(offsetof(HostEndpointResponse, bodySize) == 46, "body size at 46");
TEV_HOST_STATIC_ASSERT(offsetof(HostEndpointResponse, zero) == 50, "zero at 50");
TEV_HOST_STATIC_ASSERT(offsetof(HostEndpointResponse, bodyProducer) == 54, "producer at 54");
TEV_HOST_STATIC_ASSERT(offsetof(HostEndpointResponse, cleanup) == 58, "cleanup at 58");
TEV_HOST_STATIC_ASSERT(sizeof(ApiArgumentRecord) == 25, "ApiArgumentRecord is 25 bytes");
TEV_HOST_STATIC_ASSERT(offsetof(ApiArgumentRecord, typeName) == 20, "argument type name at 20");
TEV_HOST_STATIC_ASSERT(offsetof(ApiArgumentRecord, optional) == 24, "argument optional at 24");
TEV_HOST_STATIC_ASSERT(sizeof(ApiFunctionRecord) == 61, "ApiFunctionRecord is 61 bytes");
TEV_HOST_STATIC_ASSERT(offsetof(ApiFunctionRecord, context) == 8, "function context at 8");
TEV_HOST_STATIC_ASSERT(offsetof(ApiFunctionRecord, name) == 12, "function name at 12");
TEV_HOST_STATIC_ASSERT(offsetof(ApiFunctionRecord, arguments) == 20, "arguments at 20");
TEV_HOST_STATIC_ASSERT(offsetof(ApiFunctionRecord, returnType) == 28, "return type at 28");
TEV_HOST_STATIC_ASSERT(offsetof(ApiFunctionRecord, description) == 40, "description at 40");
TEV_HOST_STATIC_ASSERT(offsetof(ApiFunctionRecord, threadSafe) == 48, "thread-safe at 48");
TEV_HOST_STATIC_ASSERT(offsetof(ApiFunctionRecord, asyncTypeName) == 49, "async type at 49");
TEV_HOST_STATIC_ASSERT(offsetof(ApiFunctionRecord, tags) == 53, "function tags at 53");
TEV_HOST_STATIC_ASSERT(offsetof(ApiFunctionRecord, tagCount) == 57, "function tag count at 57");
TEV_HOST_STATIC_ASSERT(sizeof(ApiLocationRecord) == 8, "ApiLocationRecord is 8 bytes");
TEV_HOST_STATIC_ASSERT(sizeof(ApiTagList) == 12, "ApiTagList is 12 bytes");
TEV_HOST_STATIC_ASSERT(sizeof(ApiEndpointEntry) == 90, "ApiEndpointEntry is 90 bytes");
TEV_HOST_STATIC_ASSERT(offsetof(ApiEndpointEntry, callback) == 61, "callback at 61");
TEV_HOST_STATIC_ASSERT(offsetof(ApiEndpointEntry, locations) == 65, "locations at 65");
TEV_HOST_STATIC_ASSERT(offsetof(ApiEndpointEntry, pathTemplate) == 69, "path template at 69");
TEV_HOST_STATIC_ASSERT(offsetof(ApiEndpointEntry, method) == 73, "method at 73");
TEV_HOST_STATIC_ASSERT(offsetof(ApiEndpointEntry, flag) == 77, "endpoint flag at 77");
TEV_HOST_STATIC_ASSERT(offsetof(ApiEndpointEntry, tagLists) == 78, "tag lists at 78");
TEV_HOST_STATIC_ASSERT(offsetof(ApiEndpointEntry, tagListCount) == 82, "tag list count at 82");
TEV_HOST_STATIC_ASSERT(offsetof(ApiEndpointEntry, methodText) == 86, "method text at 86");
TEV_HOST_STATIC_ASSERT(sizeof(ApiFieldRecord) == 29, "ApiFieldRecord is 29 bytes");
TEV_HOST_STATIC_ASSERT(offsetof(ApiFieldRecord, offset) == 12, "field offset at 12");
TEV_HOST_STATIC_ASSERT(offsetof(ApiFieldRecord, optional) == 28, "field optional at 28");
TEV_HOST_STATIC_ASSERT(sizeof(ApiEnumeratorRecord) == 16, "ApiEnumeratorRecord is 16 bytes");
TEV_HOST_STATIC_ASSERT(sizeof(ApiTypeRecord) == 40, "ApiTypeRecord is 40 bytes");
TEV_HOST_STATIC_ASSERT(offsetof(ApiTypeRecord, size) == 12, "type size at 12");
TEV_HOST_STATIC_ASSERT(offsetof(ApiTypeRecord, fields) == 28, "fields at 28");
TEV_HOST_STATIC_ASSERT(offsetof(ApiTypeRecord, enumerators) == 32, "enumerators at 32");
TEV_HOST_STATIC_ASSERT(offsetof(ApiTypeRecord, memberCount) == 36, "member count at 36");
TEV_HOST_STATIC_ASSERT(sizeof(ApiEventRecord) == 28, "ApiEventRecord is 28 bytes");
TEV_HOST_STATIC_ASSERT(offsetof(ApiEventRecord, dataTypeName) == 12, "event data type at 12");
TEV_HOST_STATIC_ASSERT(sizeof(PluginApiTable) == 24, "PluginApiTable is 24 bytes");
TEV_HOST_STATIC_ASSERT(offsetof(PluginApiTable, types) == 8, "type records at 8");
TEV_HOST_STATIC_ASSERT(offsetof(PluginApiTable, events) == 16, "event records at 16");
#endif

#ifdef __cplusplus
}  // extern "C"
#endif

#endif /* TEV_PLATFORM_HOST_BOUNDARY_H_ */
