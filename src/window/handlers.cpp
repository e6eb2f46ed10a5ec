#include "window/handlers.h"

#include "convert/convert_command.h"
#include "convert/quality.h"
#include "source/source_intake.h"
#include "window/failure.h"
#include "window/window_model.h"
#include "window/window_options.h"

namespace pelk {
namespace {

using DropHandler = void (*)(WindowModel&, Platform&, const DropData&);

std::function<void(const DropData&)> dropEvent(WindowModel& w, Platform& p, DropHandler handler)
{
    return [&w, &p, handler](const DropData& data) {
        try {
            handler(w, p, data);
        } catch (const Failure& failure) {
            refuseDrop(w, p, failure);
        }
    };
}

}  // namespace

void connectHandlers(WindowModel& w, Platform& p)
{
    w.Load = [&w, &p] { Form_Load(w, p); };
    w.Unload = [&w](std::int16_t& cancel) { Form_Unload(w, cancel); };
    w.Check2.Click = [&w, &p] { Check2_Click(w, p); };
    w.mnuVer.Click = [&p] { mnuVer_Click(p); };

    w.OLEDragDrop = dropEvent(w, p, Form_OLEDragDrop);
    w.Image1.OLEDragDrop = dropEvent(w, p, Image1_OLEDragDrop);
    w.Image2.OLEDragDrop = dropEvent(w, p, Image2_OLEDragDrop);

    w.Command1.Click = [&w, &p] { Command1_Click(w, p); };
    w.HScroll1.Change = [&w] { HScroll1_Change(w); };
    w.HScroll1.Scroll = [&w] { HScroll1_Scroll(w); };
    w.Text2.Change = [&w] { Text2_Change(w); };
    w.Text2.KeyPress = [&w](std::int16_t& keyAscii) { Text2_KeyPress(w, keyAscii); };
}

}  // namespace pelk
