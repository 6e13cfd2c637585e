-- Reopens the saved check session in a fresh process and captures its saved state once more.
-- usage: ardour7-lua recall.lua SESSION_DIR PLUGIN_NAME LXVST_DIR
-- Writes SESSION_DIR/recalled.wav.
local dir, plugin_name, lxvst_dir = arg[1], arg[2], arg[3]
local common = dofile(debug.getinfo(1, "S").source:match("^@(.*/)") .. "common.lua")

common.step("loading the saved session")
ARDOUR.config():set_plugin_path_lxvst(lxvst_dir)
assert(load_session(dir, common.session_name), "load_session failed")

local track = Session:route_by_name(common.track_name)
assert(not track:isnil(), "track missing after reload")
local fx = common.find_plugin(track, plugin_name)
common.describe(fx)
local tap = common.find_plugin(track, "Trim Check Tap")

-- Ardour's own controls must show the saved levels again.
local restored = true
for c = 1, common.channels do
  local value = ARDOUR.LuaAPI.get_processor_param(fx, c - 1, true)
  local want = common.normalised(common.resting_db[c])
  print(string.format("parameter %d after reload: %.7f (saved %.7f, %+.1f dB)", c - 1, value, want, common.resting_db[c]))
  restored = restored and math.abs(value - want) < 1e-6
end

common.capture(tap, common.segment_samples, dir .. "/recalled.wav")
common.step("closing the session")
close_session()
common.step("leaving Ardour")
assert(restored, "parameters not restored")
