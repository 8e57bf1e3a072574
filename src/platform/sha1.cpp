// sha1.cpp -- SHA-1 over Nettle, for the data checks, the track digest and the password proof.
#include <nettle/sha1.h>

#include <cstdio>

#include "platform/platform.h"

namespace platform {

static_assert(sizeof(sha1_ctx) <= sizeof(Sha1::state), "Sha1 too small for Nettle's context");
static_assert(alignof(sha1_ctx) <= alignof(Sha1), "Sha1 under-aligned for Nettle's context");

namespace {
sha1_ctx* context(Sha1& s) { return reinterpret_cast<sha1_ctx*>(s.state); }
}  // namespace

void sha1_begin(Sha1& s) { sha1_init(context(s)); }

void sha1_add(Sha1& s, const void* data, std::size_t size) {
  sha1_update(context(s), size, static_cast<const std::uint8_t*>(data));
}

void sha1_finish(Sha1& s, unsigned char out[20]) { sha1_digest(context(s), SHA1_DIGEST_SIZE, out); }

void sha1_finish_hex(Sha1& s, char out[41]) {
  unsigned char digest[20];
  sha1_finish(s, digest);
  for (int i = 0; i < 20; ++i) std::snprintf(out + 2 * i, 3, "%02x", digest[i]);
}

bool sha1_parse_hex(const char* hex, unsigned char out[20]) {
  auto nibble = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  };
  if (!hex) return false;
  for (int i = 0; i < 20; ++i) {
    const int high = nibble(hex[2 * i]);
    if (high < 0) return false;
    const int low = nibble(hex[2 * i + 1]);
    if (low < 0) return false;
    out[i] = static_cast<unsigned char>(high * 16 + low);
  }
  return hex[40] == '\0';
}

}  // namespace platform
