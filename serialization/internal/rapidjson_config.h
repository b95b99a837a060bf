// How the codecs build rapidjson. Every file of the codecs includes this before any rapidjson
// header, so that all of them see the same rapidjson.
#pragma once

// Where the target has SSE2 (every x86-64 build), rapidjson scans strings and whitespace 16
// bytes at a time. Its scans load whole aligned 16-byte blocks and may read up to 15 bytes past
// the terminator of a text, never past the block that holds it: only texts in buffers of the
// codecs' own, padded for it, are read through them (see parseJsonCopied). The i686 build keeps
// the plain loops, as it does not assume SSE2.
#if defined(__SSE2__) && !defined(RAPIDJSON_SSE2)
#define RAPIDJSON_SSE2
#endif
