#include "app/gui/form_window.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QProgressBar>
#include <QScreen>
#include <QShortcut>

#include "app/gui/glyph_button.h"
#include "app/gui/image_resources.h"

namespace dezede::freebolt {

int ScaleToDpi(int pixels96, int dpi) {
    long long v = static_cast<long long>(pixels96) * dpi;
    return static_cast<int>(v >= 0 ? (v + 48) / 96 : (v - 48) / 96);
}

namespace {

int ScreenDpi() {
    QScreen* screen = QGuiApplication::primaryScreen();
    int dpi = screen ? qRound(screen->logicalDotsPerInch()) : 96;
    return dpi > 0 ? dpi : 96;
}

}  // namespace

TFormWindow::TFormWindow(TForm& form, QWidget* parent) : QWidget(parent), Form_(form), Dpi_(ScreenDpi()) {
    setObjectName(QString::fromStdString(form.Name()));
    Build();
    Form_.AttachView(this);
}

TFormWindow::~TFormWindow() {
    if (Form_.View() == this) Form_.AttachView(nullptr);
}

QFont TFormWindow::QtFont(const TFont& font) const {
    QFont f(QString::fromStdString(font.Name));
    f.setPointSize(font.Size);
    f.setBold(font.Bold);
    return f;
}

QWidget* TFormWindow::WidgetFor(const TControl* control) const {
    auto it = Widgets_.find(control);
    return it == Widgets_.end() ? nullptr : it->second;
}

void TFormWindow::Build() {
    Qt::WindowFlags flags = Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint;
    if (Form_.BorderStyle == TBorderStyle::Dialog) flags |= Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint;
    else flags |= Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint;
    setWindowFlags(flags);
    if (!Form_.Icon.empty()) setWindowIcon(QIcon(ImagePixmap(Form_.Icon)));

    QWidget* previous = nullptr;
    std::vector<std::pair<int, QWidget*>> tabStops;
    for (TControl* c : Form_.Controls()) {
        QWidget* w = nullptr;
        if (auto* label = dynamic_cast<TLabel*>(c)) {
            auto* l = new QLabel(this);
            l->setTextFormat(Qt::PlainText);
            l->setAlignment(Qt::AlignLeft | Qt::AlignTop);
            w = l;
            (void)label;
        } else if (auto* image = dynamic_cast<TImage*>(c)) {
            auto* l = new QLabel(this);
            QPixmap pm = ImagePixmap(image->Picture);
            l->setPixmap(pm);
            l->setAttribute(Qt::WA_TranslucentBackground, image->Transparent);
            w = l;
        } else if (dynamic_cast<TProgressBar*>(c)) {
            auto* bar = new QProgressBar(this);
            bar->setTextVisible(false);
            bar->setFocusPolicy(Qt::NoFocus);
            w = bar;
        } else if (auto* btn = dynamic_cast<TPngBitBtn*>(c)) {
            auto* b = new TGlyphButton(this);
            b->setText(QString::fromStdString(btn->Caption));
            b->SetGlyph(ImagePixmap(btn->Glyph));
            b->SetMargin(btn->Margin);
            b->SetSpacing(btn->Spacing);
            b->setAutoDefault(true);
            b->setDefault(btn->Default);
            connect(b, &QPushButton::clicked, this, [btn] { btn->Click(); });
            if (btn->Cancel) {
                auto* esc = new QShortcut(QKeySequence(Qt::Key_Escape), this);
                connect(esc, &QShortcut::activated, this, [btn] { btn->Click(); });
            }
            w = b;
        }
        if (!w) continue;
        w->setObjectName(QString::fromStdString(c->Name()));
        Widgets_[c] = w;
        if (c->TabOrder >= 0 && w->focusPolicy() != Qt::NoFocus) tabStops.emplace_back(c->TabOrder, w);
    }
    std::stable_sort(tabStops.begin(), tabStops.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    for (const auto& [order, w] : tabStops) {
        if (previous) setTabOrder(previous, w);
        previous = w;
    }
    if (!tabStops.empty()) tabStops.front().second->setFocus();
    Sync();
}

void TFormWindow::Sync() {
    setWindowTitle(QString::fromStdString(Form_.Caption));
    setFont(QtFont(Form_.Font()));
    setFixedSize(ScaleToDpi(Form_.ClientWidth, Dpi_), ScaleToDpi(Form_.ClientHeight, Dpi_));
    for (const auto& [c, w] : Widgets_) {
        auto* image = dynamic_cast<const TImage*>(c);
        int width = ScaleToDpi(c->Width, Dpi_), height = ScaleToDpi(c->Height, Dpi_);
        if (image && image->AutoSize) {
            // A picture sized to itself keeps its own pixels.
            QSize s = static_cast<QLabel*>(w)->pixmap().size();
            if (!s.isEmpty()) width = s.width(), height = s.height();
        }
        w->setGeometry(ScaleToDpi(c->Left, Dpi_), ScaleToDpi(c->Top, Dpi_), width, height);
        w->setFont(QtFont(c->Font()));
        w->setVisible(c->Visible());
        if (auto* label = dynamic_cast<const TLabel*>(c)) {
            static_cast<QLabel*>(w)->setText(QString::fromStdString(label->Caption()));
        } else if (auto* bar = dynamic_cast<const TProgressBar*>(c)) {
            auto* q = static_cast<QProgressBar*>(w);
            q->setRange(bar->Min(), bar->Max());
            q->setValue(bar->Position());
        } else if (auto* btn = dynamic_cast<const TPngBitBtn*>(c)) {
            w->setEnabled(btn->Enabled());
        }
    }
}

void TFormWindow::FormChanged() { Sync(); }

void TFormWindow::Repaint() { repaint(); }

void TFormWindow::FormClosed() { close(); }

void TFormWindow::ShowForm() {
    show();
    if (Form_.Position == TFormPosition::ScreenCenter) {
        if (QScreen* screen = QGuiApplication::primaryScreen()) {
            QRect area = screen->availableGeometry();
            QRect frame = frameGeometry();
            move(area.left() + (area.width() - frame.width()) / 2, area.top() + (area.height() - frame.height()) / 2);
        }
    }
    activateWindow();
    raise();
    Form_.Activate();
}

void TFormWindow::closeEvent(QCloseEvent* event) {
    if (Form_.Closed() || Form_.Close()) {
        event->accept();
    } else {
        event->ignore();
    }
}

bool TFormWindow::event(QEvent* event) {
    if (event->type() == QEvent::WindowDeactivate) {
        Deactivated_ = true;
    } else if (event->type() == QEvent::WindowActivate && Deactivated_) {
        // Becoming the active window again (after a dialog, say) activates the form again.
        Deactivated_ = false;
        Form_.Activate();
    }
    return QWidget::event(event);
}

}  // namespace dezede::freebolt
