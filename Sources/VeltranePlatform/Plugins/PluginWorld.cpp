#include "VeltranePlatform/Plugins/PluginWorld.hpp"

#include "VeltranePlatform/Plugins/FloatingPointGuard.hpp"

#include <lv2/atom/atom.h>
#include <lv2/core/lv2.h>
#include <lv2/midi/midi.h>
#include <lv2/port-groups/port-groups.h>
#include <lv2/resize-port/resize-port.h>
#include <lv2/state/state.h>
#include <lv2/time/time.h>

namespace veltrane::detail {

PluginWorld::PluginWorld(const std::optional<std::string>& lv2Path)
{
    const FloatingPointGuard floatingPoint;
    world = lilv_world_new();
    // A dynamic manifest is plug-in code that lilv runs inside our process while merely listing bundles:
    // one broken bundle installed anywhere on the path could abort or hang the application before the
    // user chose any plug-in. Only the static Turtle descriptions are read.
    LilvNodePtr no(lilv_new_bool(world, false));
    lilv_world_set_option(world, LILV_OPTION_DYN_MANIFEST, no.get());
    if (lv2Path) {
        LilvNodePtr path(lilv_new_string(world, lv2Path->c_str()));
        lilv_world_set_option(world, LILV_OPTION_LV2_PATH, path.get());
    }
    lilv_world_load_all(world);

    audioPort = uri(LV2_CORE__AudioPort);
    controlPort = uri(LV2_CORE__ControlPort);
    cvPort = uri(LV2_CORE__CVPort);
    atomPort = uri(LV2_ATOM__AtomPort);
    inputPort = uri(LV2_CORE__InputPort);
    outputPort = uri(LV2_CORE__OutputPort);
    atomSupports = uri(LV2_ATOM__supports);
    midiEvent = uri(LV2_MIDI__MidiEvent);
    instrumentPlugin = uri(LV2_CORE__InstrumentPlugin);
    rdfType = uri("http://www.w3.org/1999/02/22-rdf-syntax-ns#type");
    connectionOptional = uri(LV2_CORE__connectionOptional);
    minimumSize = uri(LV2_RESIZE_PORT__minimumSize);
    sampleRateProperty = uri(LV2_CORE__sampleRate);
    loadDefaultState = uri(LV2_STATE__loadDefaultState);
    isSideChain = uri(LV2_CORE_PREFIX "isSideChain");
    designation = uri(LV2_CORE__designation);
    portGroup = uri(LV2_PORT_GROUPS__group);
    // The first port-groups vocabulary, still used by many installed plug-ins: a port's group and its
    // place in it under other names.
    portInGroup = uri(LV2_PORT_GROUPS_PREFIX "inGroup");
    portRole = uri(LV2_PORT_GROUPS_PREFIX "role");
    mainInput = uri(LV2_PORT_GROUPS__mainInput);
    mainOutput = uri(LV2_PORT_GROUPS__mainOutput);
    leftChannel = uri(LV2_PORT_GROUPS__left);
    rightChannel = uri(LV2_PORT_GROUPS__right);
    centerChannel = uri(LV2_PORT_GROUPS__center);
    oldLeftChannel = uri(LV2_PORT_GROUPS_PREFIX "leftChannel");
    oldRightChannel = uri(LV2_PORT_GROUPS_PREFIX "rightChannel");
    oldCenterChannel = uri(LV2_PORT_GROUPS_PREFIX "centerChannel");
    freeWheeling = uri(LV2_CORE__freeWheeling);
    enabled = uri(LV2_CORE__enabled);
    beatsPerMinute = uri(LV2_TIME__beatsPerMinute);
}

PluginWorld::~PluginWorld()
{
    // The nodes belong to the world's node table; free them before the world itself.
    for (LilvNodePtr* node : {&audioPort, &controlPort, &cvPort, &atomPort, &inputPort, &outputPort,
                              &atomSupports, &midiEvent, &instrumentPlugin, &rdfType, &connectionOptional,
                              &minimumSize, &sampleRateProperty, &loadDefaultState, &isSideChain, &designation,
                              &portGroup, &portInGroup, &portRole, &mainInput, &mainOutput, &leftChannel,
                              &rightChannel, &centerChannel, &oldLeftChannel, &oldRightChannel,
                              &oldCenterChannel, &freeWheeling, &enabled, &beatsPerMinute})
        node->reset();
    lilv_world_free(world);
}

} // namespace veltrane::detail
