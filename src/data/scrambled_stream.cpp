// scrambled_stream.cpp -- scrambled data files (".scram"): the header scheme, reading and writing.
//
// A scrambled file is a 64-byte header followed by the data in 16-byte
// AES-256 blocks.
//
// The header is a 48-byte record sealed with AES-SIV (RFC 5297, the
// AES-256 variant: CMAC for the check value, CTR for the encryption) under
// the header key. SIV puts its 16-byte check value in front of the
// encrypted record, which makes the 64 bytes on disk. The record:
//   0..31   key material; the data key is HKDF-SHA256 of it (salt: the data salt)
//   32..35  plaintext length, 32-bit little-endian; 0xffffffff is refused
//   36..39  zero
//   40..45  the marker "KORVEX"
//   46..47  zero
// The check value covers every byte, so a header changed anywhere fails to
// open, and neither the key material nor the length can be read from the
// file without the header key. The header key, the data salt and the key
// that picks the key material are derived at run time (HKDF-SHA256) from
// one built-in secret.
//
// The writer takes the key material from a keyed hash of the plaintext, so
// the same file always scrambles to the same bytes (packs stay
// reproducible) and two files share a data key only when their contents are
// the same.
//
// Data block k (plaintext offset p = 16 k) is AES-256-encrypt(data key, the
// plaintext block with its first four bytes XORed with p, 32-bit
// little-endian); the last block is padded with zeros. Reading reverses it.
//
// This keeps data from casual reading and catches damage. It is no
// protection against anyone holding this program, which holds the secret.
#include <nettle/aes.h>
#include <nettle/hkdf.h>
#include <nettle/hmac.h>
#include <nettle/siv-cmac.h>

#include <string.h>  // explicit_bzero
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "data/data.h"
#include "data/data_internal.h"

namespace data {

namespace {

constexpr std::size_t kBlock = 16;
constexpr std::size_t kRecordSize = kScramHeaderSize - SIV_DIGEST_SIZE;  // 48
constexpr std::size_t kMaterialSize = 32;
constexpr std::size_t kLengthAt = 32;
constexpr std::size_t kMarkerAt = 40;
// Zero bytes of the record, checked so that a later layout can use them.
constexpr std::size_t kZeroAt[] = {36, 37, 38, 39, 46, 47};
constexpr char kMarker[6] = {'K', 'O', 'R', 'V', 'E', 'X'};
constexpr std::uint32_t kNoLength = 0xffffffffu;

// Changing any of these makes every scrambled file written before unreadable.
constexpr unsigned char kSecret[32] = {
    0xc3, 0x31, 0xde, 0x59, 0x81, 0x68, 0xd8, 0xe1, 0x69, 0x24, 0xd7, 0xec, 0x57, 0xe0, 0xcd, 0xd4,
    0xd3, 0x35, 0x56, 0x4e, 0x9e, 0x88, 0xb0, 0xdd, 0x96, 0x98, 0x07, 0xdf, 0xa2, 0x3d, 0x61, 0x27,
};
constexpr char kSchemeSalt[] = "Korvex scrambled files";
constexpr char kSivNonce[] = "KORVEX scram 1";

// The keys every scrambled file shares, derived from the secret.
struct SchemeKeys {
  unsigned char header[SIV_CMAC_AES256_KEY_SIZE];  // seals the header
  unsigned char data_salt[32];                     // salt of the data key derivation
  unsigned char material[32];                      // keys the hash that picks key material
};

void wipe(void* bytes, std::size_t size) { explicit_bzero(bytes, size); }

// HKDF-SHA256 (RFC 5869) of `ikm` under `salt`, expanded with `info`.
void kv_hkdf(const void* salt, std::size_t salt_size, const void* ikm, std::size_t ikm_size,
             const char* info, unsigned char* out, std::size_t out_size) {
  hmac_sha256_ctx mac;
  unsigned char prk[SHA256_DIGEST_SIZE];
  hmac_sha256_set_key(&mac, salt_size, static_cast<const std::uint8_t*>(salt));
  hkdf_extract(&mac, reinterpret_cast<nettle_hash_update_func*>(&hmac_sha256_update),
               reinterpret_cast<nettle_hash_digest_func*>(&hmac_sha256_digest), SHA256_DIGEST_SIZE,
               ikm_size, static_cast<const std::uint8_t*>(ikm), prk);
  hmac_sha256_set_key(&mac, sizeof prk, prk);
  hkdf_expand(&mac, reinterpret_cast<nettle_hash_update_func*>(&hmac_sha256_update),
              reinterpret_cast<nettle_hash_digest_func*>(&hmac_sha256_digest), SHA256_DIGEST_SIZE,
              std::strlen(info), reinterpret_cast<const std::uint8_t*>(info), out_size, out);
  wipe(prk, sizeof prk);
  wipe(&mac, sizeof mac);
}

void derive_scheme_keys(SchemeKeys& keys) {
  const std::size_t salt_size = sizeof kSchemeSalt - 1;
  kv_hkdf(kSchemeSalt, salt_size, kSecret, sizeof kSecret, "header key", keys.header,
          sizeof keys.header);
  kv_hkdf(kSchemeSalt, salt_size, kSecret, sizeof kSecret, "data salt", keys.data_salt,
          sizeof keys.data_salt);
  kv_hkdf(kSchemeSalt, salt_size, kSecret, sizeof kSecret, "material key", keys.material,
          sizeof keys.material);
}

void derive_data_key(const SchemeKeys& keys, const unsigned char* material, unsigned char* key) {
  kv_hkdf(keys.data_salt, sizeof keys.data_salt, material, kMaterialSize, "data key", key, 32);
}

std::uint32_t get_le32(const unsigned char* p) {
  return p[0] | (static_cast<std::uint32_t>(p[1]) << 8) | (static_cast<std::uint32_t>(p[2]) << 16) |
         (static_cast<std::uint32_t>(p[3]) << 24);
}

void put_le32(unsigned char* p, std::uint32_t value) {
  p[0] = static_cast<unsigned char>(value);
  p[1] = static_cast<unsigned char>(value >> 8);
  p[2] = static_cast<unsigned char>(value >> 16);
  p[3] = static_cast<unsigned char>(value >> 24);
}

// Mixes a block's plaintext offset into its first four bytes.
void mix_position(unsigned char* block, std::uint32_t position) {
  unsigned char offset[4];
  put_le32(offset, position);
  for (int i = 0; i < 4; ++i) block[i] ^= offset[i];
}

}  // namespace

// The deciphering state of a scrambled stream.
struct ScrambledStream {
  FILE* file = nullptr;           // at the next block of scrambled data
  aes256_ctx cipher{};            // the data key, expanded for deciphering
  unsigned char block[kBlock]{};  // the current deciphered block
  std::uint32_t position = 0;     // plaintext bytes delivered
  std::uint32_t plain_length = 0;
  long available = 0;  // scrambled bytes the file (or pack entry) still holds
};

namespace {

// Reads and deciphers the next block into `out`; false when the file ends
// before a whole block.
bool next_block(ScrambledStream* s, unsigned char* out) {
  if (s->available < static_cast<long>(kBlock)) return false;
  if (std::fread(out, 1, kBlock, s->file) != kBlock) return false;
  s->available -= static_cast<long>(kBlock);
  aes256_decrypt(&s->cipher, kBlock, out, out);
  mix_position(out, s->position);
  return true;
}

}  // namespace

void scram_make_header(const unsigned char* material, std::uint32_t plain_length,
                       unsigned char* header) {
  unsigned char record[kRecordSize] = {};
  std::memcpy(record, material, kMaterialSize);
  put_le32(record + kLengthAt, plain_length);
  std::memcpy(record + kMarkerAt, kMarker, sizeof kMarker);

  SchemeKeys keys;
  derive_scheme_keys(keys);
  siv_cmac_aes256_ctx siv;
  siv_cmac_aes256_set_key(&siv, keys.header);
  siv_cmac_aes256_encrypt_message(&siv, sizeof kSivNonce - 1,
                                  reinterpret_cast<const std::uint8_t*>(kSivNonce), 0, nullptr,
                                  kScramHeaderSize, header, record);
  wipe(&siv, sizeof siv);
  wipe(&keys, sizeof keys);
  wipe(record, sizeof record);
}

ScrambledStream* scram_open(FILE* file, long size) {
  unsigned char header[kScramHeaderSize];
  const std::size_t want = size < static_cast<long>(kScramHeaderSize)
                               ? static_cast<std::size_t>(std::max(size, 0L))
                               : kScramHeaderSize;
  if (std::fread(header, 1, want, file) != kScramHeaderSize) {
    std::fprintf(stderr, "fread error\n");
    return nullptr;
  }

  SchemeKeys keys;
  derive_scheme_keys(keys);
  siv_cmac_aes256_ctx siv;
  siv_cmac_aes256_set_key(&siv, keys.header);
  unsigned char record[kRecordSize] = {};
  const int sealed = siv_cmac_aes256_decrypt_message(
      &siv, sizeof kSivNonce - 1, reinterpret_cast<const std::uint8_t*>(kSivNonce), 0, nullptr,
      kRecordSize, record, header);
  wipe(&siv, sizeof siv);

  const std::uint32_t plain_length = get_le32(record + kLengthAt);
  bool valid = sealed && std::memcmp(record + kMarkerAt, kMarker, sizeof kMarker) == 0 &&
               plain_length != kNoLength;
  for (const std::size_t at : kZeroAt) valid = valid && record[at] == 0;
  ScrambledStream* s = nullptr;
  if (valid) {
    unsigned char key[32];
    derive_data_key(keys, record, key);
    s = new ScrambledStream;
    s->file = file;
    aes256_set_decrypt_key(&s->cipher, key);
    s->plain_length = plain_length;
    s->available = size - static_cast<long>(kScramHeaderSize);
    wipe(key, sizeof key);
  }
  wipe(&keys, sizeof keys);
  wipe(record, sizeof record);
  return s;
}

std::size_t scram_read(ScrambledStream* s, void* buffer, std::size_t count) {
  unsigned char* out = static_cast<unsigned char*>(buffer);
  std::size_t done = 0;
  // The rest of a block already deciphered.
  while (done < count && s->position % kBlock != 0 && s->position < s->plain_length) {
    out[done++] = s->block[s->position % kBlock];
    ++s->position;
  }
  // Whole blocks go straight into the caller's buffer.
  while (count - done >= kBlock && s->position < s->plain_length) {
    if (!next_block(s, out + done)) {
      s->position = s->plain_length;  // truncated: the data ends here
      return done;
    }
    const std::uint32_t valid = std::min<std::uint32_t>(kBlock, s->plain_length - s->position);
    done += valid;
    s->position += valid;
  }
  // A last partial request comes from the block buffer.
  if (done < count && s->position < s->plain_length) {
    if (!next_block(s, s->block)) {
      s->position = s->plain_length;
      return done;
    }
    const std::size_t n = std::min<std::size_t>(count - done, s->plain_length - s->position);
    std::memcpy(out + done, s->block, n);
    done += n;
    s->position += static_cast<std::uint32_t>(n);
  }
  return done;
}

void scram_free(ScrambledStream* s) {
  if (!s) return;
  wipe(s, sizeof *s);
  delete s;
}

bool scramble_bytes(const unsigned char* plain, std::size_t size, std::vector<unsigned char>& out) {
  if (size >= kNoLength) return false;
  const std::uint32_t length = static_cast<std::uint32_t>(size);

  SchemeKeys keys;
  derive_scheme_keys(keys);
  unsigned char material[kMaterialSize];
  {
    hmac_sha256_ctx mac;
    unsigned char length_bytes[4];
    put_le32(length_bytes, length);
    hmac_sha256_set_key(&mac, sizeof keys.material, keys.material);
    hmac_sha256_update(&mac, sizeof length_bytes, length_bytes);
    hmac_sha256_update(&mac, size, plain);
    hmac_sha256_digest(&mac, sizeof material, material);
    wipe(&mac, sizeof mac);
  }
  unsigned char key[32];
  derive_data_key(keys, material, key);
  aes256_ctx cipher;
  aes256_set_encrypt_key(&cipher, key);

  const std::size_t blocks = (size + kBlock - 1) / kBlock;
  out.assign(kScramHeaderSize + blocks * kBlock, 0);
  scram_make_header(material, length, out.data());
  for (std::size_t k = 0; k < blocks; ++k) {
    unsigned char* block = out.data() + kScramHeaderSize + k * kBlock;
    const std::size_t offset = k * kBlock;
    std::memcpy(block, plain + offset, std::min(kBlock, size - offset));
    mix_position(block, static_cast<std::uint32_t>(offset));
    aes256_encrypt(&cipher, kBlock, block, block);
  }
  wipe(&cipher, sizeof cipher);
  wipe(key, sizeof key);
  wipe(material, sizeof material);
  wipe(&keys, sizeof keys);
  return true;
}

bool write_scrambled(const char* plain_path, const char* scram_path) {
  FILE* in = std::fopen(plain_path, "rb");
  if (!in) {
    std::fprintf(stderr, "kvscramble: can't open %s\n", plain_path);
    return false;
  }
  std::vector<unsigned char> plain;
  unsigned char chunk[65536];
  std::size_t got;
  while ((got = std::fread(chunk, 1, sizeof chunk, in)) > 0) {
    plain.insert(plain.end(), chunk, chunk + got);
  }
  const bool read_failed = std::ferror(in);
  std::fclose(in);
  if (read_failed) {
    std::fprintf(stderr, "kvscramble: can't read %s\n", plain_path);
    return false;
  }
  std::vector<unsigned char> scrambled;
  if (!scramble_bytes(plain.data(), plain.size(), scrambled)) {
    std::fprintf(stderr, "kvscramble: %s is too large to scramble\n", plain_path);
    return false;
  }

  // Written beside the target and renamed over it, so that an interrupted
  // run never leaves half a file under the target's name.
  const std::string temporary = std::string(scram_path) + ".tmp";
  FILE* out = std::fopen(temporary.c_str(), "wb");
  if (!out) {
    std::fprintf(stderr, "kvscramble: can't create %s\n", temporary.c_str());
    return false;
  }
  bool ok = std::fwrite(scrambled.data(), 1, scrambled.size(), out) == scrambled.size();
  ok = (std::fclose(out) == 0) && ok;
  if (ok && std::rename(temporary.c_str(), scram_path) != 0) ok = false;
  if (!ok) {
    std::remove(temporary.c_str());
    std::fprintf(stderr, "kvscramble: can't write %s\n", scram_path);
  }
  return ok;
}

}  // namespace data
