// What the framework needs to know of the test effect with an editor at compile time.
#pragma once

#define DISTRHO_PLUGIN_BRAND "Orvia Tests"
#define DISTRHO_PLUGIN_NAME "DPF Editor"
#define DISTRHO_PLUGIN_URI "urn:orvia:tests:dpf-editor"
#define DISTRHO_PLUGIN_CLAP_ID "org.orvia.tests.dpf-editor"
#define DISTRHO_PLUGIN_VST3_CATEGORIES "Fx"
#define DISTRHO_PLUGIN_CLAP_FEATURES "audio-effect"

#define DISTRHO_PLUGIN_HAS_UI 1
#define DISTRHO_PLUGIN_IS_RT_SAFE 1
#define DISTRHO_PLUGIN_NUM_INPUTS 2
#define DISTRHO_PLUGIN_NUM_OUTPUTS 2
#define DISTRHO_UI_USE_NANOVG 0
#define DISTRHO_UI_USER_RESIZABLE 0
#define DISTRHO_UI_DEFAULT_WIDTH 360
#define DISTRHO_UI_DEFAULT_HEIGHT 240
