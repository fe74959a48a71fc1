#pragma once
// Reading what the server sends: the description of a message's fields and
// the values of one message (a fetched row, a procedure's outputs). For
// db/*.cpp only: it brings in the client's own headers.

#include <firebird/Interface.h>

#include <vector>

#include "db/firebird.h"

namespace imp::fb {

// The fields `meta` describes, in order (none for a null `meta`). Fails with
// DatabaseFailure ("Unable to describe columns").
std::vector<Column> DescribeColumns(Firebird::IMessageMetadata* meta);

// Where each field of a message lies in its buffer: its value and its null
// flag. Read once from the metadata when a statement is prepared, not for
// every row.
struct FieldOffsets {
  unsigned value = 0;
  unsigned null_flag = 0;
};

// The offsets of the fields `meta` describes, in order (none for a null
// `meta`). Fails with DatabaseFailure ("Unable to describe columns").
std::vector<FieldOffsets> OffsetsOf(Firebird::IMessageMetadata* meta);

// The values of the message in `buffer`, laid out at `offsets` and described
// by `columns`. Blobs are read whole from `att` in `tra`. Fails with
// DatabaseFailure ("Unable to read blob", or a type this layer does not
// read).
Row DecodeRow(const std::vector<Column>& columns, const std::vector<FieldOffsets>& offsets,
              const unsigned char* buffer, Firebird::IAttachment* att, Firebird::ITransaction* tra);

}  // namespace imp::fb
