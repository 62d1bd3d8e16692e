#include "commands/text_listing.h"

#include "report/reporter.h"

namespace d88 {

void TextListing::BeginDisk(const DiskVisit& disk) {
  if (disk.folder != nullptr) report::DiskLine(disk.image.DiskName(), disk.folder);
}

void TextListing::Entry(const DiskVisit&, const EntryFacts& facts) {
  report::ListingLine(facts.entry, facts.size);
}

}  // namespace d88
