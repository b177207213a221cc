function t = best_time(fn, reps)
% The shortest of reps timed calls of fn: on a shared machine the quietest
% run is the one closest to the cost of the work itself.
  t = inf;
  for k = 1:reps
    t0 = tic; fn(); t = min(t, toc(t0));
  end
end
