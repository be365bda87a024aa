#include "app/gui/task_dialog_window.h"

#include <QApplication>
#include <QCheckBox>
#include <QCommandLinkButton>
#include <QDialogButtonBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QStyle>
#include <QTimer>
#include <QVBoxLayout>

namespace dezede::freebolt {

namespace {

QPixmap IconPixmap(intptr_t icon, int size, const QStyle* style) {
    QStyle::StandardPixmap sp;
    switch (icon) {
        case kIconInformation: sp = QStyle::SP_MessageBoxInformation; break;
        case kIconWarning: sp = QStyle::SP_MessageBoxWarning; break;
        case kIconQuestion: sp = QStyle::SP_MessageBoxQuestion; break;
        case kIconError: sp = QStyle::SP_MessageBoxCritical; break;
        default: return {};
    }
    return style->standardIcon(sp).pixmap(size, size);
}

// Plain text, except the <a href="...">...</a> links of a dialog with hyperlinks.
QString LinkText(const QString& text) {
    QString out;
    int pos = 0;
    while (pos < text.size()) {
        int open = text.indexOf(QStringLiteral("<a "), pos, Qt::CaseInsensitive);
        int tagEnd = open < 0 ? -1 : text.indexOf(QLatin1Char('>'), open);
        int close = tagEnd < 0 ? -1 : text.indexOf(QStringLiteral("</a>"), tagEnd, Qt::CaseInsensitive);
        if (close < 0) {
            out += text.mid(pos).toHtmlEscaped();
            break;
        }
        out += text.mid(pos, open - pos).toHtmlEscaped();
        QString tag = text.mid(open, tagEnd - open + 1);
        int q1 = tag.indexOf(QLatin1Char('"'));
        int q2 = q1 < 0 ? -1 : tag.indexOf(QLatin1Char('"'), q1 + 1);
        QString href = q2 < 0 ? QString() : tag.mid(q1 + 1, q2 - q1 - 1);
        out += QStringLiteral("<a href=\"") + href.toHtmlEscaped() + QStringLiteral("\">") +
               text.mid(tagEnd + 1, close - tagEnd - 1).toHtmlEscaped() + QStringLiteral("</a>");
        pos = close + 4;
    }
    out.replace(QLatin1Char('\n'), QStringLiteral("<br>"));
    return out;
}

}  // namespace

QString TaskDialogQString(const char16_t* text) {
    if (!text) return {};
    QString s = QString::fromUtf16(text);
    s.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    s.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return s;
}

TQtTaskDialog::TQtTaskDialog(const TTaskDialogConfig& config, QWidget* parent) : QDialog(parent), Config_(config) {
    setObjectName(QStringLiteral("TaskDialog"));
    const uint32_t flags = config.dwFlags;
    Qt::WindowFlags wf = Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
    if (flags & TDF_CAN_BE_MINIMIZED) wf |= Qt::WindowMinimizeButtonHint;
    setWindowFlags(wf);
    setWindowTitle(config.pszWindowTitle ? TaskDialogQString(config.pszWindowTitle)
                                         : QApplication::applicationDisplayName());
    setModal(true);
    const bool links = flags & TDF_ENABLE_HYPERLINKS;
    auto makeLabel = [&](const char16_t* text, const QString& name) {
        auto* l = new QLabel(this);
        l->setObjectName(name);
        l->setWordWrap(true);
        if (links) {
            l->setTextFormat(Qt::RichText);
            l->setText(LinkText(TaskDialogQString(text)));
            l->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
            connect(l, &QLabel::linkActivated, this, [this](const QString& href) {
                std::u16string link = href.toStdU16String();
                Notify(TDN_HYPERLINK_CLICKED, 0, reinterpret_cast<intptr_t>(link.c_str()));
            });
        } else {
            l->setTextFormat(Qt::PlainText);
            l->setText(TaskDialogQString(text));
        }
        return l;
    };

    auto* outer = new QVBoxLayout(this);
    auto* top = new QHBoxLayout;
    outer->addLayout(top);
    QPixmap mainIcon = IconPixmap(config.pszMainIcon, 32, style());
    if (!mainIcon.isNull()) {
        auto* icon = new QLabel(this);
        icon->setObjectName(QStringLiteral("MainIcon"));
        icon->setPixmap(mainIcon);
        icon->setAlignment(Qt::AlignTop);
        top->addWidget(icon, 0, Qt::AlignTop);
    }
    auto* body = new QVBoxLayout;
    top->addLayout(body, 1);
    if (config.pszMainInstruction) {
        QLabel* l = makeLabel(config.pszMainInstruction, QStringLiteral("MainInstruction"));
        QFont f = l->font();
        f.setPointSizeF(f.pointSizeF() * 1.25);
        f.setBold(true);
        l->setFont(f);
        body->addWidget(l);
    }
    if (config.pszContent) body->addWidget(makeLabel(config.pszContent, QStringLiteral("Content")));
    const bool footerDetails = flags & TDF_EXPAND_FOOTER_AREA;
    if (config.pszExpandedInformation) {
        Expanded_ = makeLabel(config.pszExpandedInformation, QStringLiteral("ExpandedInformation"));
        if (!footerDetails) body->addWidget(Expanded_);
    }
    if (flags & (TDF_SHOW_PROGRESS_BAR | TDF_SHOW_MARQUEE_PROGRESS_BAR)) {
        Progress_ = new QProgressBar(this);
        Progress_->setObjectName(QStringLiteral("ProgressBar"));
        Progress_->setTextVisible(false);
        Progress_->setRange(0, 100);
        Progress_->setValue(0);
        Marquee_ = flags & TDF_SHOW_MARQUEE_PROGRESS_BAR;
        if (Marquee_) Progress_->setRange(0, 0);
        body->addWidget(Progress_);
    }
    for (uint32_t i = 0; config.pRadioButtons && i < config.cRadioButtons; ++i) {
        const TTaskDialogButton& r = config.pRadioButtons[i];
        auto* rb = new QRadioButton(TaskDialogQString(r.pszButtonText), this);
        rb->setObjectName(QStringLiteral("Radio%1").arg(r.nButtonID));
        Radios_[r.nButtonID] = rb;
        body->addWidget(rb);
        connect(rb, &QRadioButton::clicked, this, [this, id = r.nButtonID] {
            Radio_ = id;
            Notify(TDN_RADIO_BUTTON_CLICKED, static_cast<uintptr_t>(id));
        });
    }
    if (!Radios_.empty()) {
        if (config.nDefaultRadioButton && Radios_.count(config.nDefaultRadioButton)) Radio_ = config.nDefaultRadioButton;
        else if (!(flags & TDF_NO_DEFAULT_RADIO_BUTTON)) Radio_ = config.pRadioButtons[0].nButtonID;
        if (Radio_) Radios_[Radio_]->setChecked(true);
    }

    const bool commandLinks = flags & (TDF_USE_COMMAND_LINKS | TDF_USE_COMMAND_LINKS_NO_ICON);
    auto* row = new QHBoxLayout;
    if (Expanded_) {
        Expando_ = new QPushButton(this);
        Expando_->setObjectName(QStringLiteral("ExpandoButton"));
        Expando_->setFlat(true);
        Expando_->setAutoDefault(false);
        connect(Expando_, &QPushButton::clicked, this, [this] {
            SetExpanded(!ExpandedNow_);
            Notify(TDN_EXPANDO_BUTTON_CLICKED, ExpandedNow_ ? 1 : 0);
        });
        row->addWidget(Expando_);
    }
    if (config.pszVerificationText) {
        Verification_ = new QCheckBox(TaskDialogQString(config.pszVerificationText), this);
        Verification_->setObjectName(QStringLiteral("Verification"));
        Verification_->setChecked(flags & TDF_VERIFICATION_FLAG_CHECKED);
        connect(Verification_, &QCheckBox::clicked, this,
                [this](bool checked) { Notify(TDN_VERIFICATION_CLICKED, checked ? 1 : 0); });
        row->addWidget(Verification_);
    }
    row->addStretch(1);
    for (uint32_t i = 0; config.pButtons && i < config.cButtons; ++i) {
        const TTaskDialogButton& b = config.pButtons[i];
        QString text = TaskDialogQString(b.pszButtonText);
        QAbstractButton* button;
        if (commandLinks) {
            // A command link's first line is its caption, the rest its note.
            int nl = text.indexOf(QLatin1Char('\n'));
            auto* link = new QCommandLinkButton(nl < 0 ? text : text.left(nl), nl < 0 ? QString() : text.mid(nl + 1), this);
            if (flags & TDF_USE_COMMAND_LINKS_NO_ICON) link->setIcon(QIcon());
            body->addWidget(link);
            button = link;
        } else {
            auto* push = new QPushButton(text, this);
            row->addWidget(push);
            button = push;
        }
        button->setObjectName(QStringLiteral("Button%1").arg(b.nButtonID));
        Buttons_[b.nButtonID] = button;
    }
    const struct { uint32_t Flag; const char* Caption; int32_t Id; } common[] = {
        {TDCBF_OK_BUTTON, "OK", IDOK},         {TDCBF_YES_BUTTON, "&Yes", IDYES},
        {TDCBF_NO_BUTTON, "&No", IDNO},        {TDCBF_RETRY_BUTTON, "&Retry", IDRETRY},
        {TDCBF_CANCEL_BUTTON, "Cancel", IDCANCEL}, {TDCBF_CLOSE_BUTTON, "&Close", IDCLOSE},
    };
    for (const auto& c : common) {
        if (!(config.dwCommonButtons & c.Flag)) continue;
        auto* push = new QPushButton(QString::fromLatin1(c.Caption), this);
        push->setObjectName(QStringLiteral("Button%1").arg(c.Id));
        row->addWidget(push);
        Buttons_[c.Id] = push;
    }
    if (Buttons_.empty()) {  // a dialog always has a way out
        auto* push = new QPushButton(QStringLiteral("OK"), this);
        push->setObjectName(QStringLiteral("Button%1").arg(IDOK));
        row->addWidget(push);
        Buttons_[IDOK] = push;
    }
    for (const auto& [id, button] : Buttons_)
        connect(button, &QAbstractButton::clicked, this, [this, id = id] { ButtonClicked(id); });
    outer->addLayout(row);

    if (config.pszFooter || (Expanded_ && footerDetails)) {
        auto* line = new QFrame(this);
        line->setFrameShape(QFrame::HLine);
        line->setFrameShadow(QFrame::Sunken);
        outer->addWidget(line);
    }
    if (config.pszFooter) {
        auto* footerRow = new QHBoxLayout;
        QPixmap footerIcon = IconPixmap(config.pszFooterIcon, 16, style());
        if (!footerIcon.isNull()) {
            auto* icon = new QLabel(this);
            icon->setObjectName(QStringLiteral("FooterIcon"));
            icon->setPixmap(footerIcon);
            footerRow->addWidget(icon, 0, Qt::AlignTop);
        }
        footerRow->addWidget(makeLabel(config.pszFooter, QStringLiteral("Footer")), 1);
        outer->addLayout(footerRow);
    }
    if (Expanded_ && footerDetails) outer->addWidget(Expanded_);
    SetExpanded(flags & TDF_EXPANDED_BY_DEFAULT);

    // The default button has the focus and answers Enter.
    int32_t def = config.nDefaultButton;
    if (!Buttons_.count(def)) def = config.cButtons && config.pButtons ? config.pButtons[0].nButtonID : Buttons_.begin()->first;
    if (auto* push = qobject_cast<QPushButton*>(Buttons_[def])) push->setDefault(true);
    Buttons_[def]->setFocus();

    if (flags & TDF_CALLBACK_TIMER) {
        Timer_ = new QTimer(this);
        Timer_->setInterval(200);
        connect(Timer_, &QTimer::timeout, this, [this] {
            if (Notify(TDN_TIMER, static_cast<uintptr_t>(Clock_.elapsed())) == S_FALSE) Clock_.restart();
        });
    }
    setMinimumWidth(360);
    Notify(TDN_DIALOG_CONSTRUCTED);
}

TQtTaskDialog::~TQtTaskDialog() = default;

QAbstractButton* TQtTaskDialog::Button(int32_t id) const {
    auto it = Buttons_.find(id);
    return it == Buttons_.end() ? nullptr : it->second;
}

HRESULT TQtTaskDialog::Notify(uint32_t msg, uintptr_t wParam, intptr_t lParam) {
    if (!Config_.pfCallback) return S_OK;
    return Config_.pfCallback(this, msg, wParam, lParam, Config_.lpCallbackData);
}

void TQtTaskDialog::SetExpanded(bool expanded) {
    ExpandedNow_ = expanded;
    if (!Expanded_) return;
    Expanded_->setVisible(expanded);
    QString text = expanded ? (Config_.pszExpandedControlText ? TaskDialogQString(Config_.pszExpandedControlText)
                                                              : QStringLiteral("Hide details"))
                            : (Config_.pszCollapsedControlText ? TaskDialogQString(Config_.pszCollapsedControlText)
                                                               : QStringLiteral("See details"));
    Expando_->setText((expanded ? QStringLiteral("\u25B2 ") : QStringLiteral("\u25BC ")) + text);
}

void TQtTaskDialog::ButtonClicked(int32_t id) {
    if (Closing_) return;
    // The callback answers S_FALSE to keep the dialog open.
    if (Notify(TDN_BUTTON_CLICKED, static_cast<uintptr_t>(id)) != S_OK) return;
    Closing_ = true;
    Result_ = id;
    done(id);
}

void TQtTaskDialog::reject() {
    // Esc and the close box count as Cancel, where cancelling is allowed.
    if ((Config_.dwFlags & TDF_ALLOW_DIALOG_CANCELLATION) || Buttons_.count(IDCANCEL)) ButtonClicked(IDCANCEL);
}

void TQtTaskDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (Created_) return;
    Created_ = true;
    QWidget* anchor = (Config_.dwFlags & TDF_POSITION_RELATIVE_TO_WINDOW) ? parentWidget() : nullptr;
    QRect area = anchor ? anchor->frameGeometry()
                        : (QGuiApplication::primaryScreen() ? QGuiApplication::primaryScreen()->availableGeometry()
                                                            : QRect());
    if (area.isValid()) move(area.center() - QPoint(frameGeometry().width() / 2, frameGeometry().height() / 2));
    Clock_.start();
    Notify(TDN_CREATED);
    if (Timer_) Timer_->start();
}

void TQtTaskDialog::ApplyProgressState() {
    if (!Progress_) return;
    QPalette pal = Progress_->style()->standardPalette();
    if (ProgressState_ == PBST_ERROR) pal.setColor(QPalette::Highlight, QColor(200, 40, 40));
    if (ProgressState_ == PBST_PAUSED) pal.setColor(QPalette::Highlight, QColor(220, 180, 30));
    Progress_->setPalette(pal);
}

intptr_t TQtTaskDialog::SendMessage(uint32_t msg, uintptr_t wParam, intptr_t lParam) {
    switch (msg) {
        case TDM_CLICK_BUTTON: {
            // Queued, so that a click sent while the dialog is being created still closes it.
            auto id = static_cast<int32_t>(wParam);
            QMetaObject::invokeMethod(this, [this, id] { ButtonClicked(id); }, Qt::QueuedConnection);
            return 0;
        }
        case TDM_SET_MARQUEE_PROGRESS_BAR:
        case TDM_SET_PROGRESS_BAR_MARQUEE:
            if (!Progress_) return 0;
            Marquee_ = msg == TDM_SET_MARQUEE_PROGRESS_BAR ? wParam != 0 : Marquee_;
            if (Marquee_ && (msg == TDM_SET_MARQUEE_PROGRESS_BAR || wParam)) Progress_->setRange(0, 0);
            else if (msg == TDM_SET_MARQUEE_PROGRESS_BAR) Progress_->setRange(0, 100);
            return 1;
        case TDM_SET_PROGRESS_BAR_STATE:
            ProgressState_ = wParam;
            ApplyProgressState();
            return 1;
        case TDM_SET_PROGRESS_BAR_RANGE: {
            if (!Progress_) return 0;
            intptr_t old = MakeLParam(static_cast<uint32_t>(Progress_->minimum()), static_cast<uint32_t>(Progress_->maximum()));
            int lo = static_cast<int>(lParam & 0xFFFF), hi = static_cast<int>((lParam >> 16) & 0xFFFF);
            if (!Marquee_) Progress_->setRange(lo, hi < lo ? lo : hi);
            return old;
        }
        case TDM_SET_PROGRESS_BAR_POS: {
            if (!Progress_) return 0;
            intptr_t old = Progress_->value();
            Progress_->setValue(static_cast<int>(wParam));
            return old;
        }
        case TDM_CLICK_RADIO_BUTTON: {
            auto it = Radios_.find(static_cast<int32_t>(wParam));
            if (it != Radios_.end()) it->second->click();
            return 0;
        }
        case TDM_CLICK_VERIFICATION:
            if (Verification_ && Verification_->isChecked() != (wParam != 0)) Verification_->click();
            return 0;
        default:
            return 0;
    }
}

void TQtTaskDialog::Run(int32_t* pnButton, int32_t* pnRadioButton, int32_t* pfVerificationFlagChecked) {
    exec();
    if (Timer_) Timer_->stop();
    Notify(TDN_DESTROYED);
    if (pnButton) *pnButton = Result_;
    if (pnRadioButton) *pnRadioButton = Radio_;
    if (pfVerificationFlagChecked) *pfVerificationFlagChecked = Verification_ && Verification_->isChecked() ? 1 : 0;
}

HRESULT QtTaskDialogIndirect(const TTaskDialogConfig* config, QWidget* parent, int32_t* pnButton,
                             int32_t* pnRadioButton, int32_t* pfVerificationFlagChecked) {
    if (!config || config->cbSize != kTaskDialogConfigSize) return E_INVALIDARG;
    if ((config->cButtons && !config->pButtons) || (config->cRadioButtons && !config->pRadioButtons))
        return E_INVALIDARG;
    TQtTaskDialog dialog(*config, parent);
    dialog.Run(pnButton, pnRadioButton, pfVerificationFlagChecked);
    return S_OK;
}

}  // namespace dezede::freebolt
