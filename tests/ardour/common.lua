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

function M.export(dir, name)
  local e = Session:simple_export()
  e:set_folder(dir .. "/export")
  e:set_name(name)
  e:set_range(0, M.export_samples)
  assert(e:set_preset(M.preset_id), "export preset not found")
  assert(e:check_outputs(), "nothing to export")
  assert(e:run_export(), "export " .. name .. " failed")
end

return M
