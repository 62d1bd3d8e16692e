#include "commands/json_document.h"

#include "report/json_report.h"

namespace d88 {

void JsonDocument::BeginRun() { JsonBeginDocument(mode_name_, unicode_names_); }
void JsonDocument::EndRun() { JsonEndDocument(); }

void JsonListing::BeginDisk(const DiskVisit& disk) {
  JsonBeginDisk(disk.image, disk.number, disk.folder);
  JsonBeginEntries();
}

void JsonListing::Entry(const DiskVisit&, const EntryFacts& facts) {
  JsonEntry(facts);
}

void JsonListing::EndDisk(const DiskVisit&) {
  JsonEndEntries();
  JsonEndDisk();
}

}  // namespace d88
