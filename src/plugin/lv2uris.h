#pragma once
// The plugin's own URIs: the plugin, its session record, its preset banks.
namespace plugin {

inline constexpr const char* kPluginUri = "urn:vi801:instrument";
// The state property that holds the session (an atom:Chunk).
inline constexpr const char* kSessionUri = "urn:vi801:instrument#session";

} // namespace plugin
