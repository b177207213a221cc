function r = read_kernel_bench(build_dir, varargin)
% Runs the host-free measurement tool and returns its "name value" lines as
% a structure.
  cmd = sprintf('"%s" %s', fullfile(build_dir, 'spardyn_bench'), strjoin(varargin, ' '));
  [status, out] = system(cmd);
  if status ~= 0, error('bench:tool', 'spardyn_bench failed: %s', out); end
  r = struct();
  lines = strsplit(strtrim(out), "\n");
  for k = 1:numel(lines)
    parts = strsplit(strtrim(lines{k}), ' ');
    r.(parts{1}) = str2double(parts{2});
  end
end
