// The references of a PO's entries: FILE:PLACE split at the tail of digits and colons.
#include <gtest/gtest.h>

#include "translate/po.h"

TEST(PoReferences, SplitAndKeptByTheirEntry)
{
    const std::string po = "#: KESTRA:8:0:1  DATA2:12:0\n#: \u2068my file\u2069:3:4 notes.txt\nmsgctxt \"a\"\nmsgid \"x\"\n"
                           "msgstr \"\"\n\n#: OLD:1:1\n#~ msgid \"y\"\n#~ msgstr \"\"\n#, fuzzy\nmsgid \"z\"\nmsgstr \"\"\n";
    po_contents read;
    ASSERT_TRUE(read_po(po, read)) << read.error;
    const std::vector<po_entry>& entries = read.entries;
    ASSERT_EQ(entries.size(), 2u);
    std::string seen;
    for (const po_reference& r : entries[0].references)
        seen += r.file + "|" + r.place + "|" + std::to_string(r.line) + " ";
    EXPECT_EQ(seen, "KESTRA|8:0:1|1 DATA2|12:0|1 my file|3:4|2 notes.txt||2 ");
    EXPECT_TRUE(entries[1].references.empty()); // the obsolete entry's stay with it
}
