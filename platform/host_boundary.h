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

#ifdef __cplusplus
}  // extern "C"
#endif

#endif /* TEV_PLATFORM_HOST_BOUNDARY_H_ */
