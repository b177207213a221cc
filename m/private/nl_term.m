function t = nl_term(B, C, opt, iopt, slices, rates)
% The term structure: b as stored columns (a gather, no scratch), c in the
% transposed storage the observation needs, zeroed buffers of the given
% number of slices.
  n = size(C, 1);
  t = struct('type', 1003, ...
             'b', sparse_description(B), 'c', sparse_description(C, true), ...
             'unl', zeros(n, 1, slices), 'snl', zeros(n, 1), ...
             'opt', opt(:), 'iopt', int32(iopt(:)));
  if rates, t.vnl = zeros(n, 1, slices); end
end
