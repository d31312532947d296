// The IP rules: an address block the 段 search reads holds exactly the addresses it names (its
// ends inside, the neighbours outside); one address reads as a block of itself; an IPv4 address is
// an address.
#include "core/records.h"
#include "fuzzsupport.h"

namespace {
QString dotted(quint32 a)
{
    return QStringLiteral("%1.%2.%3.%4").arg(a >> 24).arg((a >> 16) & 255).arg((a >> 8) & 255).arg(a & 255);
}

bool inBlock(const ServerQuery &q, quint32 address)
{
    ServerRecord s;
    s.ip = dotted(address);
    return q.matches(s);
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString text = textOf(data, size);
    const std::optional<quint32> address = ServerQuery::ipv4Of(text);
    if (address) {
        FUZZ_CHECK(isIpAddress(text), "an IPv4 address that is no address: %s", qPrintable(text));
        FUZZ_CHECK(ServerQuery::ipv4Of(dotted(*address)) == address, "%s does not read back", qPrintable(text));
    }
    const std::optional<ServerQuery> block = ServerQuery::ipRange(text);
    if (!block)
        return 0;
    FUZZ_CHECK(block->low <= block->high, "a block from %u to %u", block->low, block->high);
    if (address)
        FUZZ_CHECK(block->low == *address && block->high == *address, "one address is a block of itself");
    FUZZ_CHECK(inBlock(*block, block->low) && inBlock(*block, block->high), "the ends of %s are outside it",
               qPrintable(text));
    if (block->low > 0)
        FUZZ_CHECK(!inBlock(*block, block->low - 1), "the address before %s is inside it", qPrintable(text));
    if (block->high < 0xFFFFFFFFu)
        FUZZ_CHECK(!inBlock(*block, block->high + 1), "the address after %s is inside it", qPrintable(text));
    const quint32 middle = block->low + (block->high - block->low) / 2;
    FUZZ_CHECK(inBlock(*block, middle), "the middle of %s is outside it", qPrintable(text));
    return 0;
}
