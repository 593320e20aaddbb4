// Reading one field of a MaxMind DB data record, for the record readers of this folder.
#pragma once

#include <maxminddb.h>

#include <string>

#include "common/problem.h"

namespace netsorter {

// The value at path (keys from the record's top, ending in nullptr) into data; false when
// the record has no such field, the reason when it cannot be read.
inline Result<bool> mmdbField(MMDB_entry_s& record, const char* const* path,
                              MMDB_entry_data_s& data) {
    const int status = MMDB_aget_value(&record, &data, path);
    if (status == MMDB_LOOKUP_PATH_DOES_NOT_MATCH_DATA_ERROR) {
        return false;
    }
    if (status != MMDB_SUCCESS) {
        return Status::failure(std::string("cannot be read: ") + MMDB_strerror(status));
    }
    return true;
}

}  // namespace netsorter
