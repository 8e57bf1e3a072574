// alias.cpp -- short names for input controls ("mouse-x" -> "Mouse.axis[0]").
#include <cstdlib>
#include <cstring>
#include <new>  // placement new into the one block

#include "platform/platform.h"

namespace platform {

namespace {

// One allocation holds the node and copies of both strings.
struct AliasNode {
  AliasNode* next;
  const char* alias;
  const char* target;
};

AliasNode* g_aliases = nullptr;  // newest first

struct DefaultAlias {
  const char* alias;
  const char* target;
};

constexpr DefaultAlias kDefaultAliases[] = {
    {"mouse-x", "Mouse.axis[0]"},          {"mouse-y", "Mouse.axis[1]"},
    {"mouse-left", "Mouse.key[0]"},        {"mouse-right", "Mouse.key[1]"},
    {"mouse-middle", "Mouse.key[2]"},      {"cursor-x", "cursor.axis[0]"},
    {"cursor-y", "cursor.axis[1]"},        {"cursor-left", "Mouse Left"},
    {"cursor-right", "Mouse Right"},       {"cursor-middle", "Mouse Middle"},
    {"joystick-a-x", "Joystick1.axis[0]"}, {"joystick-a-y", "Joystick1.axis[1]"},
    {"joystick-a-1", "Joystick1.key[0]"},  {"joystick-a-2", "Joystick1.key[1]"},
    {"joystick-b-x", "Joystick2.axis[0]"}, {"joystick-b-y", "Joystick2.axis[1]"},
    {"joystick-b-1", "Joystick2.key[0]"},  {"joystick-b-2", "Joystick2.key[1]"},
};

}  // namespace

int alias_add(const char* alias, const char* target) {
  if (std::strcmp(alias_resolve(alias), alias) != 0) {
    log("Second alias for '%s' ('%s') ignored\n", alias, target);
    return 0;
  }
  const std::size_t alias_size = std::strlen(alias) + 1;
  const std::size_t target_size = std::strlen(target) + 1;
  char* block = static_cast<char*>(std::malloc(sizeof(AliasNode) + alias_size + target_size));
  if (!block) {
    log("Can't alias %s to %s -- out of memory\n", alias, target);
    return 0;
  }
  char* alias_copy = block + sizeof(AliasNode);
  char* target_copy = alias_copy + alias_size;
  std::memcpy(alias_copy, alias, alias_size);
  std::memcpy(target_copy, target, target_size);
  g_aliases = new (block) AliasNode{g_aliases, alias_copy, target_copy};
  return 1;
}

const char* alias_resolve(const char* name) {
  for (const AliasNode* node = g_aliases; node; node = node->next) {
    if (std::strcmp(node->alias, name) == 0) return node->target;
  }
  return name;
}

void alias_add_defaults() {
  for (const DefaultAlias& entry : kDefaultAliases) alias_add(entry.alias, entry.target);
}

void alias_add_input_defaults() {
  for (const DefaultAlias& entry : kDefaultAliases) {
    if (std::strncmp(entry.alias, "cursor-", 7) != 0) alias_add(entry.alias, entry.target);
  }
}

}  // namespace platform
