#include "platform/widgets/program.h"

#include "window/handlers.h"

namespace pelk {

Program::Program() : window_(model_)
{
    connectHandlers(model_, platform_);
    messages_.setParent(&window_);
    windowSystem_.setWindow(&window_);
}

void Program::start()
{
    if (model_.Load)
        model_.Load();
    window_.show();
}

}  // namespace pelk
