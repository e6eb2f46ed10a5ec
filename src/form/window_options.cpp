#include "form/window_options.h"

#include "form/version.h"
#include "platform/services.h"
#include "settings/settings_file.h"
#include "window/window_model.h"

namespace pelk {

void applyTopmost(Platform& p) { p.windowSystem.applyTopmost(); }

void Form_Load(WindowModel& w, Platform& p)
{
    loadSettings(w, p.files);
    w.Text2.setText(QString::number(w.HScroll1.value()));
    if (w.Check2.value() == 1)
        applyTopmost(p);
}

void Form_Unload(WindowModel& w, Platform& p, std::int16_t& cancel)
{
    (void)cancel;
    saveSettings(w, p.files);
}

void Check2_Click(WindowModel& w, Platform& p)
{
    if (w.Check2.value() == 1)
        applyTopmost(p);
}

void mnuVer_Click(Platform& p) { p.messages.show(versionText(), versionTitle); }

QString versionText()
{
    return QStringLiteral("Pelk Ver") + QString::number(version::major) + u'.' + QString::number(version::minor)
        + QStringLiteral("\r\n\r\n著作権表示: ") + QString::fromUtf16(version::legalNotice);
}

}  // namespace pelk
