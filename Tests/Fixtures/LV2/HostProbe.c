/* A plug-in that reports what its host does to it: the control values it runs with, the worker calls
 * it gets, how often its library was loaded. It also changes the floating-point mode wherever plug-in
 * code can, as some real plug-ins do. Its ports are declared right before left, with a side chain
 * first, so only a host that reads the port groups connects them the right way round. */

#include <lv2/core/lv2.h>
#include <lv2/urid/urid.h>
#include <lv2/worker/worker.h>

#include <fenv.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <xmmintrin.h>

typedef struct {
    int libraryLoads;
    int instantiations;
    int floatingPointChanges;
    float freeWheeling, enabled, beatsPerMinute;
    int runs, workCalls, responses, endRuns;
} VeltraneProbeReport;

static VeltraneProbeReport report;

__attribute__((visibility("default"))) VeltraneProbeReport* veltrane_probe_report(void) { return &report; }

static void changeFloatingPoint(void)
{
    /* Flush-to-zero, denormals-are-zero and rounding toward zero, for SSE and the x87 unit. */
    _mm_setcsr(_mm_getcsr() | 0x8040u | 0x6000u);
    fesetround(FE_TOWARDZERO);
    ++report.floatingPointChanges;
}

__attribute__((constructor)) static void libraryLoaded(void)
{
    ++report.libraryLoads;
    changeFloatingPoint();
}

enum { gain, freeWheel, enable, tempo, sideChain, inRight, inLeft, outRight, outLeft, portCount };

typedef struct {
    const float* ports[portCount];
    LV2_Worker_Schedule* schedule;
} Probe;

static LV2_Handle instantiate(const LV2_Descriptor* descriptor, double rate, const char* path,
                              const LV2_Feature* const* features)
{
    Probe* probe = calloc(1, sizeof(Probe));
    for (int i = 0; features && features[i]; ++i)
        if (!strcmp(features[i]->URI, LV2_WORKER__schedule))
            probe->schedule = features[i]->data;
    if (!probe->schedule) {
        free(probe);
        return NULL;
    }
    ++report.instantiations;
    changeFloatingPoint();
    return probe;
}

static void connect(LV2_Handle handle, uint32_t port, void* data)
{
    if (port < portCount)
        ((Probe*)handle)->ports[port] = data;
}

static void run(LV2_Handle handle, uint32_t frames)
{
    Probe* probe = handle;
    report.freeWheeling = *probe->ports[freeWheel];
    report.enabled = *probe->ports[enable];
    report.beatsPerMinute = *probe->ports[tempo];
    float* left = (float*)probe->ports[outLeft];
    float* right = (float*)probe->ports[outRight];
    /* Whatever reaches the side chain lands in the right channel, a hundred times louder. */
    for (uint32_t i = 0; i < frames; ++i) {
        left[i] = probe->ports[inLeft][i] * *probe->ports[gain];
        right[i] = probe->ports[inRight][i] * *probe->ports[gain] + 100.0f * probe->ports[sideChain][i];
    }
    int run = ++report.runs;
    probe->schedule->schedule_work(probe->schedule->handle, sizeof run, &run);
}

static LV2_Worker_Status work(LV2_Handle handle, LV2_Worker_Respond_Function respond,
                              LV2_Worker_Respond_Handle respondHandle, uint32_t size, const void* data)
{
    __atomic_add_fetch(&report.workCalls, 1, __ATOMIC_SEQ_CST);
    return respond(respondHandle, size, data);
}

static LV2_Worker_Status workResponse(LV2_Handle handle, uint32_t size, const void* data)
{
    ++report.responses;
    return LV2_WORKER_SUCCESS;
}

static LV2_Worker_Status endRun(LV2_Handle handle)
{
    ++report.endRuns;
    return LV2_WORKER_SUCCESS;
}

static const void* extensionData(const char* uri)
{
    static const LV2_Worker_Interface worker = {work, workResponse, endRun};
    return strcmp(uri, LV2_WORKER__interface) ? NULL : &worker;
}

static void cleanup(LV2_Handle handle) { free(handle); }

static const LV2_Descriptor descriptor = {
    "urn:veltrane:test:host-probe", instantiate, connect, NULL, run, NULL, cleanup, extensionData,
};

__attribute__((visibility("default"))) const LV2_Descriptor* lv2_descriptor(uint32_t index)
{
    return index == 0 ? &descriptor : NULL;
}
