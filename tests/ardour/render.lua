-- Builds the check session, plays every level setting along one timeline as automation of the
-- plug-in's parameters, captures what passes the plug-in, and saves the session at the resting levels.
-- usage: ardour7-lua render.lua SESSION_DIR PLUGIN_NAME LXVST_DIR
-- Writes SESSION_DIR/timeline.wav and SESSION_DIR/timeline.txt, one line
-- "<name> <first sample> <samples> <dB ch1> .. <dB ch4>" per level setting, in timeline order, and
-- for vsthost's render of the same timeline SESSION_DIR/input.wav and SESSION_DIR/automation.txt.
local dir, plugin_name, lxvst_dir = arg[1], arg[2], arg[3]
local common = dofile(debug.getinfo(1, "S").source:match("^@(.*/)") .. "common.lua")

common.step("creating the session")
-- The plug-in folder must be set before the session exists, or Ardour looks elsewhere.
ARDOUR.config():set_plugin_path_lxvst(lxvst_dir)
assert(create_session(dir, common.session_name, common.sample_rate), "create_session failed")
assert(Session:nominal_sample_rate() == common.sample_rate, "unexpected session rate")

-- Ardour may replicate a plug-in whose I/O does not fit the track; a 4-channel track leaves it whole.
local track = Session:new_audio_track(common.channels, common.channels, nil, 1, common.track_name,
  ARDOUR.PresentationInfo.max_order, ARDOUR.TrackMode.Normal, false):front()
assert(not track:isnil(), "track not created")

local source = ARDOUR.LuaAPI.new_luaproc(Session, "Trim Check DC")
assert(not source:isnil(), "DC source script not found")
assert(track:add_processor_by_index(source, 0, nil, true) == 0, "cannot insert the DC source")

common.step("inserting the plug-in")
local fx = ARDOUR.LuaAPI.new_plugin(Session, plugin_name, ARDOUR.PluginType.LXVST, "")
assert(not fx:isnil(), "Ardour does not know the plug-in " .. plugin_name)
assert(track:add_processor_by_index(fx, 1, nil, true) == 0, "cannot insert the plug-in")
common.describe(fx)
-- Right after the plug-in: what it keeps is what the plug-in put out.
local tap = ARDOUR.LuaAPI.new_luaproc(Session, "Trim Check Tap")
assert(not tap:isnil(), "capture tap script not found")
assert(track:add_processor_by_index(tap, 2, nil, true) == 0, "cannot insert the capture tap")

local plan = common.plan()
local manifest = assert(io.open(dir .. "/timeline.txt", "w"))
for _, segment in ipairs(plan) do
  manifest:write(segment.name, " ", segment.first, " ", common.segment_samples, " ",
    table.concat(segment.levels, " "), "\n")
end
manifest:close()

-- The same timeline for vsthost: the input the DC source plays (dc_source.lua), and the automation
-- in vsthost's format, with the very values Ardour's automation lists get below.
common.write_wav(dir .. "/input.wav", #plan * common.segment_samples, function() return 0.5, 0.5, 0.5, 0.5 end)
local automation = assert(io.open(dir .. "/automation.txt", "w"))
for _, segment in ipairs(plan) do
  for c = 1, common.channels do
    automation:write(string.format("%dsmp step -p %d=%.17g\n", segment.first, c - 1, common.normalised(segment.levels[c])))
  end
end
automation:close()

local function control(channel)
  local parameter = Evoral.Parameter(ARDOUR.AutomationType.PluginAutomation, 0, channel - 1)
  local ac = fx:to_automatable():automation_control(parameter, false)
  assert(not ac:isnil(), "no automation control for parameter " .. (channel - 1))
  return ac
end

common.step("writing the automation")
for c = 1, common.channels do
  local _, list = ARDOUR.LuaAPI.plugin_automation(fx, c - 1)
  assert(not list:isnil(), "no automation list for parameter " .. (c - 1))
  -- Steps, not ramps: each setting holds from its first sample until the next one.
  assert(list:set_interpolation(Evoral.InterpolationStyle.Discrete), "cannot make the automation stepped")
  for _, segment in ipairs(plan) do
    list:add(Temporal.timepos_t(segment.first), common.normalised(segment.levels[c]), false, false)
  end
  control(c):set_automation_state(ARDOUR.AutoState.Play)
end

common.capture(tap, #plan * common.segment_samples, dir .. "/timeline.wav")

-- The saved session must carry the levels in the plug-in's own state only: no automation, and the
-- resting levels set through Ardour's controls as a user would leave them.
common.step("saving the session")
for c = 1, common.channels do
  control(c):set_automation_state(ARDOUR.AutoState.Off)
  local _, list = ARDOUR.LuaAPI.plugin_automation(fx, c - 1)
  list:clear_list()
  assert(ARDOUR.LuaAPI.set_processor_param(fx, c - 1, common.normalised(common.resting_db[c])),
    "set_processor_param failed")
end
assert(Session:save_state("", false, false, false, false, false), "save_state failed")
common.step("closing the session")
close_session()
common.step("leaving Ardour")
