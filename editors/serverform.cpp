#include "editors/serverform.h"

#include "core/registerdb.h"
#include "editors/serverform_names.h"
#include "widgets/choosers.h"
#include "widgets/datebox.h"
#include "widgets/fixedwindow.h"
#include "widgets/messagebox.h"

#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QShortcut>
#include <QTextDocument>

namespace {
DateBox *dateBox(QWidget *parent, const QString &name, const QString &label, int top)
{
    auto *box = placed(new DateBox(parent), name, 82, top, 150, 20);
    box->setAccessibleName(label);
    return box;
}
} // namespace

ServerForm::ServerForm(RegisterDb &db, const QString &name, const QString &title, const QString &actionCaption,
                       const QString &exitCaption)
    : QDialog(nullptr), m_db(db)
{
    setObjectName(name);
    makeFixedWindow(this, title, 512, 240);

    auto *shape = placed(new QFrame(this), ServerFormNames::shape, 2, 3, 500, 181);
    shape->setFrameShape(QFrame::Box);
    shape->setFrameShadow(QFrame::Sunken);

    struct Label {
        const char *name;
        QString caption;
        int left, top, width;
    };
    const Label labels[] = {
        {"标签1", QStringLiteral("选择客户："), 22, 8, 55},   {"标签2", QStringLiteral("服务器编号："), 10, 33, 68},
        {"标签3", QStringLiteral("服务器IP："), 22, 58, 55},  {"标签4", QStringLiteral("所在机柜："), 22, 83, 55},
        {"标签5", QStringLiteral("上架时间："), 22, 108, 55}, {"标签6", QStringLiteral("到期时间："), 22, 133, 55},
        {"标签7", QStringLiteral("下架时间："), 22, 158, 55}, {"标签8", QStringLiteral("备注："), 238, 8, 64},
    };
    for (const Label &l : labels)
        placed(new QLabel(l.caption, shape), QString::fromUtf8(l.name), l.left, l.top, l.width, 16);

    m_customer = placed(new QComboBox(shape), ServerFormNames::customer, 82, 6, 150, 20);
    m_customer->addItem(ServerFormTexts::noCustomer);
    m_customer->setAccessibleName(QStringLiteral("选择客户"));
    makeTypeable(m_customer);
    m_number = placed(new QLineEdit(shape), ServerFormNames::number, 82, 31, 150, 20);
    m_number->setAccessibleName(QStringLiteral("服务器编号"));
    m_ip = placed(new QLineEdit(shape), ServerFormNames::ip, 82, 56, 150, 20);
    m_ip->setAccessibleName(QStringLiteral("服务器IP"));
    m_cabinet = placed(new QLineEdit(shape), ServerFormNames::cabinet, 82, 81, 150, 20);
    m_cabinet->setAccessibleName(QStringLiteral("所在机柜"));
    m_racked = dateBox(shape, ServerFormNames::racked, QStringLiteral("上架时间"), 106);
    m_expires = dateBox(shape, ServerFormNames::expires, QStringLiteral("到期时间"), 131);
    m_unracked = dateBox(shape, ServerFormNames::unracked, QStringLiteral("下架时间"), 156);
    m_remark = placed(new QPlainTextEdit(shape), ServerFormNames::remark, 236, 25, 259, 151);
    m_remark->setAccessibleName(QStringLiteral("备注"));
    m_remark->setTabChangesFocus(true);

    m_action = placed(new QPushButton(actionCaption, this), ServerFormNames::actionButton, 338, 187, 80, 24);
    m_exit = placed(new QPushButton(exitCaption, this), ServerFormNames::exitButton, 422, 187, 80, 24);
    // Enter anywhere but in the remark presses the save button; Escape the exit button.
    m_action->setAutoDefault(false);
    m_exit->setAutoDefault(false);
    m_action->setDefault(true);
    auto *escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, m_exit, &QPushButton::click);
    m_action->setToolTip(QStringLiteral("%1 (Enter)").arg(actionCaption));
    m_exit->setToolTip(QStringLiteral("%1 (Esc)").arg(exitCaption));
    // Tab goes down the left column, then the remark, then the buttons.
    const QList<QWidget *> order{m_customer, m_number,   m_ip,     m_cabinet, m_racked,
                                 m_expires,  m_unracked, m_remark, m_action,  m_exit};
    for (int i = 1; i < order.size(); ++i)
        setTabOrder(order[i - 1], order[i]);
    connect(m_action, &QPushButton::clicked, this, [this] {
        for (DateBox *box : {m_racked, m_expires, m_unracked})
            box->commitTyping();
        // A NUL character (pasted from somewhere) is no part of any text the register keeps.
        for (QWidget *box : std::initializer_list<QWidget *>{m_number, m_ip, m_cabinet, m_remark}) {
            const QString text = box == m_remark ? remarkText() : static_cast<QLineEdit *>(box)->text();
            if (text.contains(QChar(0))) {
                MessageBox::show(ServerFormTexts::holdsNul.arg(box->accessibleName()), MsgStyle::Warning, kNoticeTitle,
                                 this);
                box->setFocus();
                return;
            }
        }
        // A date box holding a text that is no date: nothing is saved until it is one, or empty.
        for (DateBox *box : {m_racked, m_expires, m_unracked}) {
            if (box->notADate()) {
                MessageBox::show(ServerFormTexts::notADate.arg(box->accessibleName(), *box->notADate()),
                                 MsgStyle::Warning, kNoticeTitle, this);
                box->setFocus();
                return;
            }
        }
        onAction();
    });
    connect(m_exit, &QPushButton::clicked, this, &QDialog::close);
}

QString ServerForm::chosenCustomer() const
{
    const int index = m_customer->findText(m_customer->currentText(), Qt::MatchExactly | Qt::MatchCaseSensitive);
    return index > 0 ? m_customer->itemText(index) : QString();
}

void ServerForm::fillCustomerSelector()
{
    const Read<QStringList> names = m_db.customerNames();
    if (!names.ok()) {
        qWarning("reading the customers failed: %s", qPrintable(names.status.reason));
        MessageBox::show(kReadFailedText, MsgStyle::Error, std::nullopt, this);
        return;
    }
    m_customer->addItems(names.value);
}

QString ServerForm::remarkText() const
{
    // toPlainText() turns a line separator (U+2028) into a line feed and a no-break space into a
    // space; the raw text keeps them and separates the box's paragraphs with U+2029.
    QString text = m_remark->document()->toRawText();
    text.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
    return text;
}
