-- Builds the check session and exports one file per level setting.
-- usage: ardour7-lua render.lua SESSION_DIR PLUGIN_NAME LXVST_DIR
-- Writes SESSION_DIR/exports.txt: one line "<file> <dB ch1> <dB ch2> <dB ch3> <dB ch4>" per export.
local dir, plugin_name, lxvst_dir = arg[1], arg[2], arg[3]
local common = dofile(debug.getinfo(1, "S").source:match("^@(.*/)") .. "common.lua")

-- The plug-in folder must be set before the session exists, or Ardour looks elsewhere.
ARDOUR.config():set_plugin_path_lxvst(lxvst_dir)
assert(create_session(dir, common.session_name, 48000), "create_session failed")
assert(Session:nominal_sample_rate() == 48000, "session rate is not 48 kHz")

-- The master bus is created stereo; widen it so each of the four channels reaches the export on its own.
local master = Session:master_out()
for _, io in ipairs({ master:input(), master:output() }) do
  while io:n_ports():n_audio() < common.channels do
    assert(io:add_port("", nil, ARDOUR.DataType("audio")) == 0, "cannot widen the master bus")
  end
end
-- The export reads the master outputs themselves. Ardour wires the first two to the system playback
-- ports; unwired like the added ones, all four have the same latency, which the export lines the
-- channels up by (common.lua).
for c = 0, common.channels - 1 do master:output():nth(c):disconnect_all() end
-- Without panners, channel n of the track reaches channel n of the export unchanged.
master:panner_shell():set_bypassed(true)

local track = Session:new_audio_track(common.channels, common.channels, nil, 1, common.track_name,
  ARDOUR.PresentationInfo.max_order, ARDOUR.TrackMode.Normal, false):front()
assert(not track:isnil(), "track not created")
track:panner_shell():set_bypassed(true)
for c = 0, common.channels - 1 do
  local out = track:output():nth(c)
  out:disconnect_all()
  assert(out:connect(master:input():nth(c):name()) == 0, "cannot connect track output " .. (c + 1))
end

local source = ARDOUR.LuaAPI.new_luaproc(Session, "Trim Check DC")
assert(not source:isnil(), "DC source script not found")
assert(track:add_processor_by_index(source, 0, nil, true) == 0, "cannot insert the DC source")

local fx = ARDOUR.LuaAPI.new_plugin(Session, plugin_name, ARDOUR.PluginType.LXVST, "")
assert(not fx:isnil(), "Ardour does not know the plug-in " .. plugin_name)
assert(track:add_processor_by_index(fx, 1, nil, true) == 0, "cannot insert the plug-in")
common.describe(fx)

local manifest = assert(io.open(dir .. "/exports.txt", "w"))
local levels = {}
local function set_level(channel, db)
  levels[channel] = db
  assert(ARDOUR.LuaAPI.set_processor_param(fx, channel - 1, common.normalised(db)), "set_processor_param failed")
end
local function export(name)
  common.export(dir, name)
  manifest:write(name, " ", table.concat(levels, " "), "\n")
  manifest:flush()
end

-- Distinct resting levels, so a swapped or shared channel shows up in every file.
for c = 1, common.channels do set_level(c, common.resting_db[c]) end
for c = 1, common.channels do
  for k, db in ipairs(common.sweep_db) do
    set_level(c, db)
    export(string.format("ch%d_%d", c, k))
  end
  set_level(c, common.resting_db[c])
end
export("saved")
manifest:close()

assert(Session:save_state("", false, false, false, false, false), "save_state failed")
close_session()
