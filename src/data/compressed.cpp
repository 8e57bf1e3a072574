// compressed.cpp -- gzip and scrambled streams (not yet supported: such files fail to open).
#include "data/data_internal.h"

namespace data {

// Until gzip and scrambled streams are read, a ".gz" or ".scram" variant is
// found by the lookup but refuses to open, so callers see a missing file
// rather than compressed bytes.
bool start_deciphering(DataStream*) { return false; }
bool start_decompression(DataStream*) { return false; }
void end_deciphering(DataStream* stream) { stream->decipher = nullptr; }
void end_decompression(DataStream* stream) { stream->inflater = nullptr; }
int decipher_getc(DataStream*) { return -1; }
int inflate_getc(DataStream*) { return -1; }

}  // namespace data
