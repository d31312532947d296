#include "widgets/gbkedit.h"

#include "core/text.h"

#include <QLineEdit>
#include <QValidator>
#include <algorithm>

namespace {
// Keeps a box within maxBytes GBK bytes. Whatever is typed or pasted keeps its first whole
// characters that still fit, the rest of the text staying as it was; a keystroke that does not
// fit is refused.
class GbkByteValidator : public QValidator {
public:
    GbkByteValidator(int maxBytes, QLineEdit *edit) : QValidator(edit), m_max(maxBytes), m_last(edit->text())
    {
        connect(edit, &QLineEdit::textChanged, this, [this](const QString &text) { m_last = text; });
    }

    State validate(QString &input, int &pos) const override
    {
        if (gbkByteLength(input) <= m_max)
            return Acceptable;
        // What was put in ends at the cursor; before it, the part shared with the last text.
        const int end = std::clamp(pos, 0, int(input.size()));
        int start = 0;
        while (start < end && start < m_last.size() && input[start] == m_last[start])
            ++start;
        const QString kept = input.left(start) + input.mid(end);
        const int room = m_max - gbkByteLength(kept);
        if (room < 0) {
            input = truncateToGbkBytes(input, m_max);
            pos = std::min(pos, int(input.size()));
            return Acceptable;
        }
        const QString fits = truncateToGbkBytes(input.mid(start, end - start), room);
        if (fits.isEmpty())
            return Invalid;
        input = input.left(start) + fits + input.mid(end);
        pos = start + int(fits.size());
        return Acceptable;
    }
    void fixup(QString &input) const override { input = truncateToGbkBytes(input, m_max); }

private:
    int m_max;
    QString m_last;
};
} // namespace

void limitToGbkBytes(QLineEdit *edit, int maxBytes)
{
    edit->setValidator(new GbkByteValidator(maxBytes, edit));
}
