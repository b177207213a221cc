% "chandlediagnewmark" against the same step as a vectorised Octave loop, on
% 7-point-stencil models of about 10^5 and 10^6 degrees of freedom (lumped
% mass, mass-proportional damping, one load shape, start state kept every
% step), in the same process, results checked equal.
%
%   octave-cli bench/bench_newmark.m [build dir]     (default: build/)
%
% Bandwidth: whatever the order of its passes, a step must read K once
% (values, row indices, column pointers), read and write u, v and a once,
% write the start copy of u, v and a, write the residual block w and read it
% back for the correction, and read the load shape, the lumped mass and the
% correction factors.  Its time at the two-thread triad bandwidth is the
% limit a step is measured against.
here = fileparts(mfilename('fullpath'));
root = fullfile(here, '..');
build_dir = fullfile(root, 'build');
if numel(argv()) >= 1 && exist(argv(){end}, 'dir'), build_dir = argv(){end}; end
addpath(build_dir, fullfile(root, 'm'), here);

function hs = setfield_tft(hs, t, f)
  hs{1}.tft = [t; f];
end

triad = read_kernel_bench(build_dir, 'triad');
printf('two-thread triad bandwidth: %.2f GB/s\n\n', triad.triad_GBs);

for grid = [46 100]
  K = stencil7(grid); n = rows(K);
  m = 1 + 0.1 * mod((1:n)', 7);
  shape = zeros(n, 1); shape(1:grid:end) = 1;
  rayM = 0.5;
  h = 0.5 * newmark_stable_step(m, K, 0.25, 0.5, rayM * m);
  st = newmark_stepper(m, rayM * m, K, h, 0.25, 0.5, shape);
  d = st.data; corr = st.r(:, 3);
  handles = {st, sparse_term(2, spdiags(m, 0, n, n)), sparse_term(1, K)};
  out = newmark_step_output(n);
  nsteps = 20;
  t = (0:nsteps) * h;
  factors = sin(t / (10 * h));
  handles{1}.tft = [t; factors];
  rand('seed', 2);
  u0 = 1e-3 * rand(n, 1); v0 = 1e-3 * rand(n, 1); a0 = zeros(n, 1);

  % Peak memory of native runs of 2 and of 2 nsteps steps.
  native = @(k) spardyn('chandlediagnewmark', setfield_tft(handles, t(1:k + 1), factors(1:k + 1)), ...
                        struct(), u0 + 0, v0 + 0, a0 + 0, [rayM 0], out);
  native(2); kb_short = peak_kb();
  native(nsteps); kb_long = peak_kb();

  % Results agree.
  u = u0 + 0; v = v0 + 0; a = a0 + 0;
  spardyn('chandlediagnewmark', handles, struct(), u, v, a, [rayM 0], out);
  [pu, pv, pa, puva] = peer_newmark_steps(K, m, -shape, corr, factors(1:nsteps), d, rayM, u0, v0, a0);
  err = max([norm(u - pu) / norm(pu), norm(v - pv) / norm(pv), norm(a - pa) / norm(pa), ...
             norm(out.uva.uva - puva) / norm(puva)]);
  if err > 1e-12, error('the stepper disagrees with the Octave loop: %g', err); end

  % Timings: best of reps, interleaved.
  t_native = inf; t_peer = inf;
  for rep = 1:5
    u = u0 + 0; v = v0 + 0; a = a0 + 0;
    tic; spardyn('chandlediagnewmark', handles, struct(), u, v, a, [rayM 0], out);
    t_native = min(t_native, toc / nsteps);
    tic; peer_newmark_steps(K, m, -shape, corr, factors(1:nsteps), d, rayM, u0, v0, a0);
    t_peer = min(t_peer, toc / nsteps);
  end

  nz = nnz(K);
  bytes = 12 * nz + 4 * (n + 1) ...          % K
          + 8 * n * (3 + 3) ...              % u, v, a read and written
          + 8 * n * 3 ...                    % start copy written
          + 8 * n * 2 ...                    % w written, read back
          + 8 * n * 3;                       % load shape, mass, factors read
  t_limit = bytes / (triad.triad_GBs * 1e9);
  printf('%d DOF, %d non-zeros: a step must move %.1f MB (%.2f ms at the triad bandwidth)\n', ...
         n, nz, bytes / 1e6, 1e3 * t_limit);
  printf('  Octave loop        : %8.3f ms/step  %8.1f steps/s  %6.2f GB/s\n', 1e3 * t_peer, 1 / t_peer, bytes / t_peer / 1e9);
  printf('  chandlediagnewmark : %8.3f ms/step  %8.1f steps/s  %6.2f GB/s  = %.0f %% of the limit, %.2fx the loop\n', ...
         1e3 * t_native, 1 / t_native, bytes / t_native / 1e9, 100 * t_limit / t_native, t_peer / t_native);
  printf('  peak memory after 2 and %d native steps: %.1f MB, %.1f MB\n', nsteps, kb_short / 1024, kb_long / 1024);
  printf('  relative difference to the Octave loop: %.1e\n\n', err);
end
