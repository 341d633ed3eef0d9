#include "Veltrane/Updates/ModelUpdates.hpp"

#include "Veltrane/Model/AppModel.hpp"
#include "Veltrane/Updates/UpdateCommands.hpp"

namespace veltrane {

bool updateWouldInterrupt(const AppModel& model)
{
    return model.isPlaying() || model.isPreparingPlayback() || model.isExporting() || model.isSampleRecording()
        || model.isLiveRecording();
}

void mirrorUpdateState(const UpdateCommands& commands, AppModel& model)
{
    const auto* source = &commands;
    model.setAvailableUpdate(commands.availableUpdate());
    model.setIsUpdating(commands.isUpdating());
    model.setIsCheckingForUpdate(commands.isCheckingForUpdate());
    QObject::connect(source, &UpdateCommands::availableUpdateChanged, &model,
                     [source, &model] { model.setAvailableUpdate(source->availableUpdate()); });
    QObject::connect(source, &UpdateCommands::isUpdatingChanged, &model,
                     [source, &model] { model.setIsUpdating(source->isUpdating()); });
    QObject::connect(source, &UpdateCommands::isCheckingForUpdateChanged, &model,
                     [source, &model] { model.setIsCheckingForUpdate(source->isCheckingForUpdate()); });
}

} // namespace veltrane
