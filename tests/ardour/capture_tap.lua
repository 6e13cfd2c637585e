ardour { ["type"] = "dsp", name = "Trim Check Tap", category = "Utility", license = "MIT", author = "Tolvarnesk",
         description = [[Passes four channels through and keeps what passes at timeline samples 0 .. length-1.]] }

-- Shared with the session script (common.lua), in 4-byte words:
--   int 0  frames to keep from timeline sample 0, set by the session script (0: keep nothing)
--   int 1  frames kept so far
--   int 2  capacity in frames per channel
--   int 3  blocks that did not start where the previous one ended (the transport jumped)
--   int 4  the timeline sample the next block should start at
--   float 8 + (c - 1) * capacity + p   channel c at timeline sample p
local channels = 4
local capacity

function dsp_ioconfig () return { { audio_in = channels, audio_out = channels } } end

function dsp_init (rate)
  capacity = 8 * rate
  local shmem = self:shmem()
  shmem:allocate(8 + channels * capacity)
  shmem:clear()
  shmem:atomic_set_int(2, capacity)
end

function dsp_run (ins, outs, n_samples)
  local shmem = self:shmem()
  local length = shmem:atomic_get_int(0)
  -- Keyed by the transport position, so what is kept lines up with the automation timeline.
  if length > 0 and Session:transport_rolling() then
    local position = Session:transport_sample()
    local first = math.max(0, position)
    local last = math.min(length, position + n_samples)
    if first < last then
      if first ~= shmem:atomic_get_int(4) then shmem:atomic_set_int(3, shmem:atomic_get_int(3) + 1) end
      for c = 1, channels do
        ARDOUR.DSP.copy_vector(shmem:to_float(8 + (c - 1) * capacity + first), ins[c]:offset(first - position), last - first)
      end
      shmem:atomic_set_int(1, shmem:atomic_get_int(1) + last - first)
      shmem:atomic_set_int(4, last)
    end
  end
  for c = 1, channels do
    if ins[c] ~= outs[c] then ARDOUR.DSP.copy_vector(outs[c]:offset(0), ins[c]:offset(0), n_samples) end
  end
end
