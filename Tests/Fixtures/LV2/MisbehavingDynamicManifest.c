// A dynamic manifest, the one piece of plug-in code a host runs while merely listing plug-ins: built
// twice, once to abort the process that opens it and once never to return, as broken third-party
// bundles do. The catalogue must list every other plug-in without ever running it.

#include <lv2/dynmanifest/dynmanifest.h>

#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

int lv2_dyn_manifest_open(LV2_Dyn_Manifest_Handle* handle, const LV2_Feature* const* features)
{
    (void)handle;
    (void)features;
#if VELTRANE_MANIFEST_HANGS
    for (;;) pause();
#else
    abort();
#endif
    return 1;
}

int lv2_dyn_manifest_get_subjects(LV2_Dyn_Manifest_Handle handle, FILE* fp)
{
    (void)handle;
    (void)fp;
    abort();
}

int lv2_dyn_manifest_get_data(LV2_Dyn_Manifest_Handle handle, FILE* fp, const char* uri)
{
    (void)handle;
    (void)fp;
    (void)uri;
    abort();
}

void lv2_dyn_manifest_close(LV2_Dyn_Manifest_Handle handle)
{
    (void)handle;
}
