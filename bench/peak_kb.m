function kb = peak_kb()
% PEAK_KB  The process's peak resident memory (VmHWM), in kB.
  s = fileread('/proc/self/status');
  kb = str2double(regexp(s, 'VmHWM:\s*(\d+)', 'tokens', 'once'){1});
end
