ardour { ["type"] = "dsp", name = "Trim Check DC", category = "Utility", license = "MIT", author = "Tolvarnesk",
         description = [[Writes the constant 0.5 to each of four channels.]] }

function dsp_ioconfig () return { { audio_in = 4, audio_out = 4 } } end

function dsp_run (ins, outs, n_samples)
  for c = 1, #outs do
    local a = outs[c]:array()
    for s = 1, n_samples do a[s] = 0.5 end
  end
end
