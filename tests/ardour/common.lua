-- Shared by render.lua and recall.lua: the session layout, the level plan and the export.
local M = {
  session_name = "trimcheck",
  track_name = "trim",
  channels = 4,
  preset_id = "2d59195f-b854-4771-b675-3da20a9d8b2d",  -- float_export.preset
  export_samples = 9600,  -- 0.2 s at 48 kHz, many process blocks
  -- Each channel sweeps through these while the others rest at their own level.
  sweep_db = { -12, -3.5, 12 },
  resting_db = { -7.3, 2.6, -0.9, 9.1 },
}

-- The plug-in maps 0..1 onto -12..+12 dB and rounds to 0.1 dB.
function M.normalised(db) return (db + 12) / 24 end

function M.describe(fx)
  local insert = fx:to_insert()
  local plugin = insert:plugin(0)
  print(string.format("plug-in '%s' by '%s': %d parameters, %d instance(s), %d in / %d out",
    plugin:name(), plugin:maker(), plugin:parameter_count(), insert:get_count(),
    insert:input_streams():n_audio(), insert:output_streams():n_audio()))
  -- A plug-in whose I/O does not fit the track is replicated; that would hide a wrong channel count.
  assert(insert:get_count() == 1, "Ardour replicated the plug-in")
  assert(insert:input_streams():n_audio() == M.channels and insert:output_streams():n_audio() == M.channels,
    "the plug-in does not run 4 in / 4 out")
  assert(plugin:parameter_count() == M.channels, "unexpected parameter count")
end

function M.find_plugin(track, name)
  local i = 0
  while true do
    local fx = track:nth_plugin(i)
    assert(not fx:isnil(), "plug-in " .. name .. " missing from the track")
    if fx:display_name() == name then return fx end
    i = i + 1
  end
end

-- The export delays each master output by its playback latency above the smallest one, to line
-- the channels up. Ardour works port latencies out again on its own thread after a connection
-- changes, and under load it can miss a change and keep stale values (seen: 272, 272, 0, 0 samples
-- after the two added outputs, a shift of 272 samples of silence at the start of channels 1 and 2).
-- So the export waits until all four agree, and where they stay apart a connection made and undone
-- on each output has Ardour work them out once more.
local function master_latencies()
  local out, values = Session:master_out():output(), {}
  for c = 0, M.channels - 1 do values[#values + 1] = out:nth(c):private_latency_range(true).max end
  return values
end

local function aligned(values)
  for c = 2, #values do
    if values[c] ~= values[1] then return false end
  end
  return true
end

-- The master outputs are left unwired (render.lua), so wiring one and unwiring it changes nothing else.
local function request_latency_update()
  local out = Session:master_out():output()
  for c = 0, M.channels - 1 do
    local port = out:nth(c)
    assert(port:connect("system:playback_1") == 0, "cannot connect a master output")
    port:disconnect_all()
  end
end

local function await_aligned_outputs()
  local values
  for attempt = 1, 5 do
    for _ = 1, 100 do
      values = master_latencies()
      if aligned(values) then return values[1] end
      ARDOUR.LuaAPI.usleep(10000)
    end
    print(string.format("master output latencies still apart (%s samples); asking Ardour to work them out again (%d)",
      table.concat(values, ", "), attempt))
    request_latency_update()
  end
  error("the master outputs report different playback latencies (" .. table.concat(values, ", ")
    .. " samples); the export would shift channels against each other")
end

function M.export(dir, name)
  local latency = await_aligned_outputs()
  local e = Session:simple_export()
  e:set_folder(dir .. "/export")
  e:set_name(name)
  e:set_range(0, M.export_samples)
  assert(e:set_preset(M.preset_id), "export preset not found")
  assert(e:check_outputs(), "nothing to export")
  assert(e:run_export(), "export " .. name .. " failed")
  -- A latency update landing during the export would have misaligned it as well.
  local after = master_latencies()
  for c = 1, #after do
    assert(after[c] == latency, "the master output latencies changed during export " .. name)
  end
end

return M
