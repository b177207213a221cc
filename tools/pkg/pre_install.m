function pre_install(desc)
% Run by pkg install in the unpacked package, before it builds: stops with
% the Debian install line when packages the build needs are missing, the
% same line the source tree's quick-start scripts print.
  check = fullfile(pwd(), 'src', 'tools', 'deps.sh');
  [status, out] = system(sprintf('bash ''%s'' build 2>&1', check));
  if status ~= 0
    error('%s', strtrim(out));
  end
end
