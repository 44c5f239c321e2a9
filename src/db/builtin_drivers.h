#pragma once

/// Registers the providers that are built into the access layer. CreateDriver calls it once, before the
/// first lookup; each provider folder offers one plain registration function for it.
void RegisterBuiltInDrivers();
