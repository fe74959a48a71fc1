#pragma once
// What an unattended run checks about the company before it imports with
// --skip-existing: that no other importer is writing into it at the same
// time (the check whether an order exists and its write are separate
// statements, so two runs of one file could both find an order missing and
// both write it), and that the check has an index to use.
//
// Each batch run marks its attachment with a session context variable; the
// database's monitoring tables show the variables of every attachment the
// user may see (all of them for SYSDBA or the owner, the user's own
// otherwise). A run marks itself before it looks for others, so of two runs
// that overlap at least one sees the other.

#include <string>
#include <vector>

namespace imp {

class Connection;

// Marks the connection's attachment as an importer's.
void AnnounceImporter(Connection& connection);

// The other attachments marked as importers, each described for the
// operator ("proceso 1234 en 10.0.0.7, desde 2026-12-09 17:40:01").
std::vector<std::string> OtherImporters(Connection& connection);

// True when PEDIDOS has an index whose leading columns are PREF_PRE and
// PEDI_NUMERO, with or without TIDO_COD among them, in any order: the
// existence check of an order then reads a few index pages, not the table.
bool HasOrderKeyIndex(Connection& connection);

}  // namespace imp
