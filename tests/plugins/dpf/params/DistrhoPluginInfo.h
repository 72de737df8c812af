// What the framework needs to know of the parameter test effect at compile time.
#pragma once

#define DISTRHO_PLUGIN_BRAND "Orvia Tests"
#define DISTRHO_PLUGIN_NAME "DPF Params"
#define DISTRHO_PLUGIN_URI "urn:orvia:tests:dpf-params"
#define DISTRHO_PLUGIN_CLAP_ID "org.orvia.tests.dpf-params"
#define DISTRHO_PLUGIN_VST3_CATEGORIES "Fx|Tools"
#define DISTRHO_PLUGIN_CLAP_FEATURES "audio-effect", "utility"

#define DISTRHO_PLUGIN_HAS_UI 0
#define DISTRHO_PLUGIN_IS_RT_SAFE 1
#define DISTRHO_PLUGIN_NUM_INPUTS 2
#define DISTRHO_PLUGIN_NUM_OUTPUTS 2
