#include "core/widgets/gbkedit.h"

#include "core/text.h"

#include <QLineEdit>
#include <QValidator>

namespace {
class GbkByteValidator : public QValidator {
public:
    GbkByteValidator(int maxBytes, QObject *parent) : QValidator(parent), m_max(maxBytes) {}
    State validate(QString &input, int &) const override
    {
        return gbkByteLength(input) <= m_max ? Acceptable : Invalid;
    }
    void fixup(QString &input) const override { input = truncateToGbkBytes(input, m_max); }

private:
    int m_max;
};
} // namespace

void limitToGbkBytes(QLineEdit *edit, int maxBytes)
{
    edit->setValidator(new GbkByteValidator(maxBytes, edit));
}
