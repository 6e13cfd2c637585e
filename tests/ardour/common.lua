-- Shared by render.lua and recall.lua: the session layout, the level plan, progress and the capture.
local M = {
  session_name = "trimcheck",
  track_name = "trim",
  channels = 4,
  sample_rate = 48000,
  segment_samples = 9600,  -- 0.2 s per level setting, many process blocks
  -- Each channel sweeps through these while the others rest at their own level.
  sweep_db = { -12, -3.5, 12 },
  resting_db = { -7.3, 2.6, -0.9, 9.1 },
}

-- The plug-in maps 0..1 onto -12..+12 dB and rounds to 0.1 dB.
function M.normalised(db) return (db + 12) / 24 end

-- The level settings in timeline order: every channel through each sweep level, the others
-- resting, and last the resting levels themselves, which are also what the session saves.
function M.plan()
  local segments = {}
  local function add(name, levels)
    segments[#segments + 1] = { name = name, first = #segments * M.segment_samples, levels = levels }
  end
  for c = 1, M.channels do
    for k, db in ipairs(M.sweep_db) do
      local levels = { table.unpack(M.resting_db) }
      levels[c] = db
      add(string.format("ch%d_%d", c, k), levels)
    end
  end
  add("saved", { table.unpack(M.resting_db) })
  return segments
end

-- Names what the process is doing, for the shell to quote should Ardour die. stderr is unbuffered,
-- so the line is out before a crash can swallow it; what print buffered goes out first, in order.
function M.step(text)
  io.stdout:flush()
  io.stderr:write("step: ", text, "\n")
end

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

-- The level settings are read from what passes the plug-in while Ardour plays the timeline in real
-- time, not from an export: Ardour 7.3's export can corrupt its heap (about one process in four that
-- exported once then crashed, in the export or afterwards), while playing has not been seen to.
local rolling_request = ARDOUR.TransportRequestSource.TRS_UI

local function await(what, condition)
  for _ = 1, 1000 do
    if condition() then return end
    ARDOUR.LuaAPI.usleep(10000)
  end
  error("Ardour did not " .. what .. " within 10 s")
end

-- Plays timeline samples 0 .. samples-1 through the track and writes what the capture tap
-- (capture_tap.lua, whose shared memory layout this follows) kept to a 32-bit float WAV file.
function M.capture(tap, samples, path)
  M.step("playing the timeline for " .. path:match("[^/]*$"))
  local shmem = tap:to_insert():plugin(0):to_luaproc():shmem()
  local capacity = shmem:atomic_get_int(2)
  assert(samples <= capacity, "the capture tap keeps at most " .. capacity .. " samples")
  Session:request_locate(0, false, ARDOUR.LocateTransportDisposition.MustStop, rolling_request)
  await("stop at the start", function() return Session:transport_sample() == 0 and not Session:transport_rolling() end)
  for _, word in ipairs({ 1, 3, 4 }) do shmem:atomic_set_int(word, 0) end  -- kept, jumps, next start
  shmem:atomic_set_int(0, samples)
  Session:request_roll(rolling_request)
  await("play the timeline", function() return shmem:atomic_get_int(1) >= samples end)
  Session:request_stop(false, false, rolling_request)
  shmem:atomic_set_int(0, 0)
  await("stop", function() return not Session:transport_rolling() end)
  local kept, jumps = shmem:atomic_get_int(1), shmem:atomic_get_int(3)
  assert(kept == samples and jumps == 0, string.format(
    "the capture kept %d of %d samples with %d jump(s) of the transport", kept, samples, jumps))

  M.step("writing " .. path:match("[^/]*$"))
  local data = shmem:to_float(8):array()  -- 1-based: channel c, sample p at (c - 1) * capacity + p + 1
  M.write_wav(path, samples, function(p)
    return data[p], data[capacity + p], data[2 * capacity + p], data[3 * capacity + p]
  end)
end

-- Writes a 4-channel 32-bit float WAV file; frame(p), p = 1 .. samples, gives its four samples.
function M.write_wav(path, samples, frame)
  local file = assert(io.open(path, "wb"))
  local bytes = samples * M.channels * 4
  file:write(string.pack("<c4I4c4c4I4I2I2I4I4I2I2c4I4", "RIFF", 36 + bytes, "WAVE", "fmt ", 16,
    3, M.channels, M.sample_rate, M.sample_rate * M.channels * 4, M.channels * 4, 32, "data", bytes))  -- 3: IEEE float
  local frames = {}
  for p = 1, samples do
    frames[#frames + 1] = string.pack("<ffff", frame(p))
    if #frames == 4096 or p == samples then
      file:write(table.concat(frames))
      frames = {}
    end
  end
  file:close()
end

return M
