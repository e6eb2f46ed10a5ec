#include "convert/quality.h"

#include "window/failure.h"
#include "window/log.h"
#include "window/numbers.h"
#include "window/window_model.h"

namespace pelk {

void HScroll1_Change(WindowModel& w) { w.Text2.setText(QString::number(w.HScroll1.value())); }

// The number follows the thumb while it is dragged.
void HScroll1_Scroll(WindowModel& w) { HScroll1_Change(w); }

void Text2_Change(WindowModel& w)
{
    // On failure, continue with the next statement: the slider refuses numbers outside
    // its range (and the rounding refuses ones outside 16 bits); the box keeps its text.
    const double number = readNumber(w.Text2.text());
    try {
        w.HScroll1.setValue(toInt16(number));
    } catch (const Failure& failure) {
        qCDebug(pelkLog).noquote().nospace()
            << "the slider keeps its value for " << w.Text2.text() << ": " << failure.detail();
    }
}

void Text2_KeyPress(WindowModel&, std::int16_t& keyAscii)
{
    if (keyAscii == 8)
        return;
    if (keyAscii > u'9' || keyAscii < u'0')
        keyAscii = 0;
}

}  // namespace pelk
