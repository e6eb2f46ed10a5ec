#include "app/wiring.h"

#include "convert/convert_command.h"
#include "convert/quality.h"
#include "form/window_options.h"
#include "platform/services.h"
#include "source/source_intake.h"
#include "window/failure.h"
#include "window/log.h"
#include "window/window_model.h"

namespace pelk {
namespace {

// How many events are running, one inside another: an event raised by a handler (a text
// set by the program raises Change) is part of the one the user raised, so its failure
// travels up to that one's handler, which may trap it.
int runningEvents = 0;

// Runs one event. A failure nobody trapped ends the outermost event and goes no further:
// the window goes on.
template <typename F>
void runEvent(F&& handler, const std::function<void(const Failure&)>& untrapped = {})
{
    struct Depth {
        Depth() { ++runningEvents; }
        ~Depth() { --runningEvents; }
    } depth;
    if (runningEvents > 1) {
        handler();
        return;
    }
    try {
        handler();
    } catch (const Failure& failure) {
        if (untrapped)
            untrapped(failure);
        else
            qCDebug(pelkLog).noquote() << "an event ended at a failure:" << failure.detail();
    }
}

Event event(std::function<void()> handler)
{
    return [handler = std::move(handler)] { runEvent(handler); };
}

using DropHandler = void (*)(WindowModel&, Platform&, const DropData&);

std::function<void(const DropData&)> dropEvent(WindowModel& w, Platform& p, DropHandler handler)
{
    return [&w, &p, handler](const DropData& data) {
        runEvent([&] { handler(w, p, data); }, [&](const Failure& failure) { refuseDrop(w, p, failure); });
        prepareAhead(w, p, 0);
    };
}

}  // namespace

void connectHandlers(WindowModel& w, Platform& p)
{
    w.Load = event([&w, &p] { Form_Load(w, p); });
    w.Unload = [&w, &p](std::int16_t& cancel) { runEvent([&] { Form_Unload(w, p, cancel); }); };
    w.Check2.Click = event([&w, &p] { Check2_Click(w, p); });
    w.mnuVer.Click = event([&p] { mnuVer_Click(p); });

    w.OLEDragDrop = dropEvent(w, p, Form_OLEDragDrop);
    w.Image1.OLEDragDrop = dropEvent(w, p, Image1_OLEDragDrop);
    w.Image2.OLEDragDrop = dropEvent(w, p, Image2_OLEDragDrop);

    // Each change of what a press would encode starts (or drops) the encode ahead; a
    // quality only once it has rested.
    w.Command1.Click = event([&w, &p] {
        Command1_Click(w, p);
        prepareAhead(w, p, 0);
    });
    w.Check1.Click = event([&w, &p] { prepareAhead(w, p, 0); });
    w.HScroll1.Change = event([&w] { HScroll1_Change(w); });
    w.HScroll1.Scroll = event([&w] { HScroll1_Scroll(w); });
    w.Text2.Change = event([&w, &p] {
        Text2_Change(w);
        prepareAhead(w, p, qualityRestMs);
    });
    w.Text2.KeyPress = [&w](std::int16_t& keyAscii) { runEvent([&] { Text2_KeyPress(w, keyAscii); }); };
}

}  // namespace pelk
