-- What Ardour itself makes of its Linux VST path: nothing is set here, so it is Ardour's default, or
-- LXVST_PATH when the environment has it.
-- usage: ardour7-lua discover.lua path
--          prints the path, one folder a line, each as "folder: <folder>";
--        ardour7-lua discover.lua find SESSION_DIR PLUGIN_FILE
--          lists the Linux VST plug-ins Ardour finds on the path and fails unless one is PLUGIN_FILE.
-- Without a window Ardour does not run its scanner itself: it walks the path and takes each file's
-- verdict from the scan cache, which the caller fills by running the scanner as Ardour's window does.
local mode = arg[1]

if mode == "path" then
  for folder in string.gmatch(ARDOUR.config():get_plugin_path_lxvst(), "[^:]+") do
    print("folder: " .. folder)
  end
  return
end

assert(mode == "find", "usage: discover.lua path | discover.lua find SESSION_DIR PLUGIN_FILE")
local dir, plugin_file = arg[2], arg[3]
-- Ardour walks its plug-in path when the first session is made.
assert(create_session(dir, "discover", 48000), "create_session failed")
local found = false
for info in ARDOUR.LuaAPI.list_plugins():iter() do
  if info.type == ARDOUR.PluginType.LXVST then
    print(string.format("Linux VST: '%s' (%d in / %d out) at %s", info.name,
      info.n_inputs:n_audio(), info.n_outputs:n_audio(), info.path))
    if info.path == plugin_file then found = true end
  end
end
close_session()
assert(found, "Ardour did not find " .. plugin_file)
print("found " .. plugin_file)
