// Start-up work that can run beside the window's and the device's creation:
// the scene's images decoded and every model's X file parsed, each on a
// thread of its own; the loaders take the results (ReleasePrefetchedImages
// and ReleasePrefetchedXFiles free what none took).
#pragma once

// Starts the threads; returns at once. Call once, before any loader runs.
void PrefetchSceneResources();
