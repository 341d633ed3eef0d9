#include "Veltrane/CommandLine/RenderRun.hpp"

#include "Veltrane/Model/AppModel.hpp"
#include "Veltrane/Transport/MIDIInput.hpp"

#include <QEventLoop>
#include <QTimer>

#include <atomic>
#include <sstream>
#include <thread>

namespace veltrane {

int runRenderInApplication(const RenderCommand& command, std::ostream& errors)
{
    AppModelServices services;
    services.midi = std::make_unique<MIDIInput>(MIDIInput::WithoutPorts{});
    const AppModel model(true, std::nullopt, std::move(services));

    std::ostringstream failure;
    std::atomic<bool> finished{false};
    int status = 1;
    std::thread worker([&] {
        OfflineRenderer renderer;
        status = runRenderCommand(command, renderer, failure);
        finished = true;
    });
    // The event loop runs in slices of 10 ms until the render is done, so work posted to this thread
    // meanwhile is served.
    while (!finished.load()) {
        QEventLoop slice;
        QTimer::singleShot(10, &slice, &QEventLoop::quit);
        slice.exec();
    }
    worker.join();
    errors << failure.str();
    errors.flush();
    return status;
}

} // namespace veltrane
