// 包含文字: the fold is the same once done twice, and a server holding a text is found by it (in
// any of its eight texts, in either letter case).
#include "core/listcolumns.h"
#include "core/records.h"
#include "fuzzsupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString text = textOf(data, size);
    // The search reads full-width digits and letters as half-width and the ideographic space as a
    // blank, as the box gives them; stored texts are compared as they are: such a text is left out.
    for (QChar ch : text)
        if ((ch.unicode() >= 0xFF01 && ch.unicode() <= 0xFF5E) || ch.unicode() == 0x3000)
            return 0;
    const QString folded = ServerQuery::foldedForContains(text);
    FUZZ_CHECK(ServerQuery::foldedForContains(folded) == folded, "the fold of %s changes again", qPrintable(text));
    FUZZ_CHECK(folded.size() == text.size(), "the fold changed the length of %s", qPrintable(text));
    const ServerQuery query = ServerQuery::containing(text);
    for (const ListColumn &c : listColumns()) {
        ServerRecord s;
        s.*c.field = QStringLiteral("前") + text + QStringLiteral("后");
        FUZZ_CHECK(query.matches(s), "a %s holding the text is not found", qPrintable(c.title));
        s.*c.field = QStringLiteral("前") + text.toUpper() + QStringLiteral("后");
        // Upper-casing outside ASCII may change more than letters' case (ß → SS); only ASCII is folded.
        bool ascii = true;
        for (QChar ch : text)
            ascii = ascii && ch.unicode() < 0x80;
        if (ascii)
            FUZZ_CHECK(query.matches(s), "the text in capitals is not found");
    }
    return 0;
}
